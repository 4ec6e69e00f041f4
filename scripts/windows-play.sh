#!/usr/bin/env bash
# The play check: the Windows client from the release archive under Wine beside
# the Linux client, both against a Linux vxserver on 127.0.0.1 (free ports, no
# wandering characters, so that nothing moves but the players).
#
#  1. vxclient.exe, in a fresh Wine prefix on a virtual display of its own, installs
#     the sample world from a Windows path (drive letter, backslashes, a folder named
#     Wëlt_Ω) and shows the login window (a picture of the display is kept); its
#     configuration must then be in the Wine registry under
#     HKEY_CURRENT_USER\Software\VxaClient, and no configuration file anywhere.
#  2. Started again with --connect, it finds its world through the registry, logs in
#     and enters the game, as does the Linux vxclient on a second virtual display.
#  3. Both stand where they entered (the same spot and lift), with the pointer at the
#     same place of the game window, and F12 goes to both at once, sixteen times. The
#     pictures must be pixel for pixel the same but around the middle, where each
#     shows the other player's figure, and where things move on their own (pixels
#     that change among one client's own pictures, and differences that hang together
#     with them: animations, the colour cycle).
#  4. The Windows player walks (arrow keys held): its view must move.
#  5. Each says a line; each one's chat log must hold the other's. The Windows
#     player's name, Tamsín, came on its command line: the server's account and the
#     player's own chat log must name it so.
#
# Needs the Linux build (BUILD_DIR, default build/, built here as needed) and the
# archive that scripts/windows-check.sh writes into dist/. Keeps its pictures and
# logs in PLAY_DIR (default build-play/).
# Usage: ./scripts/windows-play.sh
set -Eeuo pipefail
# A command that fails stops the check; say which, since its status alone says little.
trap 'echo "windows-play: line $LINENO ended with status $?: $BASH_COMMAND" >&2' ERR
cd "$(dirname "$0")/.."
root="$(pwd)"

source scripts/install-deps.sh
vx_packages+=(wine64 xvfb xdotool imagemagick python3)
vx_install_missing
source scripts/windows-env.sh

start=$SECONDS
step_start=$SECONDS
step() {
  echo "windows-play: $1 took $((SECONDS - step_start)) s"
  step_start=$SECONDS
}
fail() {
  echo "windows-play: FAILED: $*" >&2
  exit 1
}

# --- The programs.
build="${BUILD_DIR:-build}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
fi
cmake --build "$build" -j 2 --target vxclient vxserver vxworldgen >/dev/null
zip="$(ls -t dist/veltharn-*-windows-x64.zip 2>/dev/null | head -1 || true)"
[ -n "$zip" ] || fail "no dist/veltharn-*-windows-x64.zip: run ./scripts/windows-check.sh with the Qt cache first"
work="${PLAY_DIR:-build-play}"
case "$work" in /*) ;; *) work="$root/$work" ;; esac
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=wineserver
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine
# A Wine server that an earlier run left on its prefix (one stopped before its
# clean-up) is ended before the folder goes.
[ -d "$work/wine" ] && WINEPREFIX="$work/wine" "$wineserver" -k >/dev/null 2>&1 || true
rm -rf "$work"
mkdir -p "$work/programs"
(cd "$work/programs" && cmake -E tar xf "$root/$zip")
exe_dir="$(ls -d "$work"/programs/veltharn-*-windows-x64)"
step "programs (Linux build, $(basename "$zip") unpacked)"

# --- One sample world, a copy for each client's installation.
"$build/bin/vxworldgen" "$work/world" --seed 1 >/dev/null
cp -r "$work/world" "$work/linux-world"
winworld="$work/Spiele/Wëlt_Ω/embervale"
mkdir -p "$(dirname "$winworld")"
cp -r "$work/world" "$winworld"
winworld_windows="Z:${winworld//\//\\}"

# --- Processes: the server, two virtual displays, the clients; all ended at exit.
pids=()
# The clients run as a player runs them: nothing of a test run's environment (the
# Windows check's WINEPATH to Qt's build, its offscreen platform, its test filter).
unset WINEPATH GTEST_FILTER VX_TEST_REGISTRY
for v in $(compgen -e | grep '^WINEQT_\|^QT_' || true); do unset "$v"; done
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine links the prefix's Desktop, Pictures, ... to the home folder: one of its own.
mkdir -p "$work/windows-home"
export HOME="$work/windows-home"
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  "$wineserver" -k >/dev/null 2>&1 || true
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A virtual display on a free number (Xvfb writes it into $work/display-NAME).
display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display-$1" >"$work/xvfb-$1.log" 2>&1 &
  pids+=($!)
}
display linux
display windows
for _ in $(seq 100); do
  [ -s "$work/display-linux" ] && [ -s "$work/display-windows" ] && break
  sleep 0.1
done
linux_display=":$(head -1 "$work/display-linux" 2>/dev/null || true)"
windows_display=":$(head -1 "$work/display-windows" 2>/dev/null || true)"
[ "$linux_display" != ":" ] && [ "$windows_display" != ":" ] || fail "Xvfb did not start"

mkdir -p "$work/server-data"
# The log is there before the server: the redirection below is made by the background
# job, which may come after the first look into it.
: >"$work/server.log"
"$build/bin/vxserver" --game "$work/world" --data "$work/server-data" --bind 127.0.0.1 \
  --tcp-port 0 --udp-port 0 --npcs 0 >"$work/server.log" 2>&1 &
server=$!
pids+=($server)
port=""
for _ in $(seq 200); do
  port="$(sed -n 's/^Listening on .* TCP port \([0-9]*\).*/\1/p' "$work/server.log")"
  [ -n "$port" ] && break
  kill -0 "$server" 2>/dev/null || fail "the server did not start: $(cat "$work/server.log")"
  sleep 0.1
done
[ -n "$port" ] || fail "the server did not start listening"

# The prefix, its making's errors kept (scripts/windows-env.sh).
status=0
DISPLAY="$windows_display" vx_make_wine_prefix "$work/wineboot.log" || status=$?
[ $status -eq 0 ] || fail "wineboot --init ended with status $status: $(grep -a ':err:\|^wine:' "$work/wineboot.log" | tail -5)"
step "world, server on TCP port $port, displays $linux_display and $windows_display, fresh Wine prefix"

# Waits up to $2 seconds for the pattern $3 (grep -E) in the file $1.
wait_for() {
  local file="$1" seconds="$2" pattern="$3" i
  for i in $(seq $((seconds * 10))); do
    grep -aEq "$pattern" "$file" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
# The id of the window named exactly $2 on display $1, waiting up to 60 s.
window() {
  local i id
  for i in $(seq 600); do
    id="$(DISPLAY="$1" xdotool search --onlyvisible --name "^$2\$" 2>/dev/null | head -1 || true)"
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# --- 1. The Windows client's first start: the world installed, the login window.
login=(--server 127.0.0.1 --tcp-port "$port" --local-udp-port 0 --log-to-stdout)
win_log="$work/windows-client.log"
DISPLAY="$windows_display" LC_ALL=C.UTF-8 "$wine" "$exe_dir/vxclient.exe" --install-world "$winworld_windows" \
  "${login[@]}" --name Tamsín --password Tamsin-pw >"$win_log" 2>&1 &
first=$!
pids+=($first)
login_window="$(window "$windows_display" "Veltharn Client -- .*")" || fail "no login window on the Windows client; its log: $(cat "$win_log")"
sleep 2
DISPLAY="$windows_display" import -window root "$work/windows-login-window.png"
[ -f "$winworld/CLIDAT/INITGAME.DAT" ] || [ -n "$(ls "$winworld/CLIDAT" 2>/dev/null)" ] ||
  fail "the Windows client installed nothing into $winworld/CLIDAT"
kill -TERM "$first" 2>/dev/null || true
"$wineserver" -k >/dev/null 2>&1 || true
wait "$first" 2>/dev/null || true
"$wineserver" -w
# The registry store (Wine keeps HKEY_CURRENT_USER in user.reg of the prefix; wide
# strings are written there with \x escapes for letters beyond ASCII).
registry="$(sed -n '/^\[Software\\\\VxaClient/,/^$/p' "$WINEPREFIX/user.reg")"
echo "$registry" > "$work/windows-registry.txt"
grep -q '^\[Software\\\\VxaClient\\\\Worlds\]' <<<"$registry" || fail "no HKCU\\Software\\VxaClient\\Worlds key in the Wine registry"
grep -qi 'W\\xeblt_\\x3a9' <<<"$registry" || fail "the registry does not name the folder Wëlt_Ω: $registry"
if find "$WINEPREFIX/drive_c" "$work" -path "$WINEPREFIX/user.reg" -prune -o -name user.reg -path '*vxaclient*' -print | grep -q .; then
  fail "the Windows client wrote a configuration file instead of the registry"
fi
step "Windows client: world installed from $winworld_windows, login window shown, configuration in the registry"

# --- 2. Both clients log in and enter the game.
lin_log="$work/linux-client.log"
lin_home="$work/linux-home"
mkdir -p "$lin_home"
DISPLAY="$linux_display" HOME="$lin_home" XDG_CONFIG_HOME="$lin_home/.config" XDG_DATA_HOME="$lin_home/.local/share" \
  XDG_CACHE_HOME="$lin_home/.cache" "$build/bin/vxclient" --install-world "$work/linux-world" \
  "${login[@]}" --name Wren --password Wren-pw --connect >"$lin_log" 2>&1 &
pids+=($!)
DISPLAY="$windows_display" LC_ALL=C.UTF-8 "$wine" "$exe_dir/vxclient.exe" \
  "${login[@]}" --name Tamsín --password Tamsin-pw --connect >"$win_log" 2>&1 &
pids+=($!)
wait_for "$lin_log" 90 "^OK, Entering game" || fail "the Linux client did not enter the game: $(tail -5 "$lin_log")"
wait_for "$win_log" 120 "^OK, Entering game" || fail "the Windows client did not enter the game: $(tail -5 "$win_log")"
lin_game="$(window "$linux_display" vx)" || fail "no game window on the Linux client"
win_game="$(window "$windows_display" vx)" || fail "no game window on the Windows client"
step "both clients in the game"

# --- 3. Both stand where they entered, F12 on both with the pointer at the same spot.
# Keys go to the window under the pointer (no window manager).
# The pointer to the same place of game window $2 on display $1: 40, 30 in from the
# bottom right.
point() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(DISPLAY="$1" xdotool getwindowgeometry --shell "$2")"
  DISPLAY="$1" xdotool mousemove $((X + WIDTH - 40)) $((Y + HEIGHT - 30))
  sleep 0.3
}
keys() {
  local d="$1"
  point "$1" "$2"
  shift 2
  DISPLAY="$d" xdotool "$@"
}
# A client logs each picture twice: its console's line names the file alone, standard
# output the whole path; only whole paths are counted, and only whole lines.
whole='^Screenshot saved: .*[/\\].*\.png'$'\r''?$'
# The n-th picture ($2) the client with log $1 saved, as a Unix path: a Windows path
# through the prefix's drive links (C: the prefix's own drive, Z: the root).
shot_file() {
  local path drive
  path="$(grep -aE "$whole" "$1" | sed -n "$2{s/^Screenshot saved: //;s/\r\$//;p}")"
  case "$path" in
  [A-Za-z]:\\*)
    drive="$(tr 'A-Z' 'a-z' <<<"${path:0:1}")"
    path="${path:3}"
    path="$WINEPREFIX/dosdevices/$drive:/${path//\\//}"
    ;;
  esac
  echo "$path"
}
shots_linux=0
shots_windows=0
# F12 on client $1 (linux or windows), with the pointer left where it is.
f12() {
  if [ "$1" = linux ]; then
    shots_linux=$((shots_linux + 1))
    DISPLAY="$linux_display" xdotool key F12
  else
    shots_windows=$((shots_windows + 1))
    DISPLAY="$windows_display" xdotool key F12
  fi
}
# Waits for the picture the last f12 on client $1 asked for and copies it to $2.
collect() {
  local who="$1" out="$2" log="$lin_log" count=$shots_linux file
  [ "$who" = windows ] && log="$win_log" count=$shots_windows
  for _ in $(seq 100); do
    [ "$(grep -acE "$whole" "$log")" -ge "$count" ] && break
    sleep 0.1
  done
  [ "$(grep -acE "$whole" "$log")" -ge "$count" ] || fail "the $who client saved no picture $count: $(tail -3 "$log")"
  file="$(shot_file "$log" "$count")"
  cp "$file" "$out"
}
picture() {
  if [ "$1" = linux ]; then
    point "$linux_display" "$lin_game"
  else
    point "$windows_display" "$win_game"
  fi
  f12 "$1"
  collect "$1" "$2"
}
# Both stand where they entered, at the same spot and lift; F12 goes to both at once,
# sixteen times over about eight seconds. The flames, lamps and water move on their
# own (the animations and the colour cycle step every half second, each client at its
# own moments): a pixel that changes among one client's pictures is left out, with
# the differences that hang together with it (scripts/png_compare.py says why). The
# pauses between pictures are uneven, so that the pictures do not keep step with the
# half seconds and miss a step of a slow animation. All others must be the same in both but
# in the middle, where each shows the other player's figure; and what moves must
# stay a small part of the picture, or the check would compare little.
point "$linux_display" "$lin_game"
point "$windows_display" "$win_game"
sleep 2
also=()
i=0
for pause in 0.17 0.31 0.23 0.43 0.11 0.37 0.29 0.19 0.41 0.13 0.33 0.27 0.21 0.39 0.15 0; do
  i=$((i + 1))
  f12 linux
  f12 windows
  collect linux "$work/linux-start-$i.png"
  collect windows "$work/windows-start-$i.png"
  [ "$i" -gt 1 ] && also+=(--also-a "$work/linux-start-$i.png" --also-b "$work/windows-start-$i.png")
  sleep "$pause"
done
compare="$(python3 scripts/png_compare.py "$work/linux-start-1.png" "$work/windows-start-1.png" \
  --allow 200,60,440,300 "${also[@]}")" || fail "the two clients' pictures differ beyond the other player's figure: $compare"
echo "windows-play: $compare"
moving="$(sed -n 's/.*; \([0-9]*\) pixels move on their own.*/\1/p' <<<"$compare")"
[ "${moving:-256000}" -lt 25600 ] || fail "$moving of 256000 pixels moved on their own: too many to compare"
first_windows="$work/windows-start-1.png"
step "both at the start, F12 on both: the pictures agree but for what moves on its own ($moving pixels) and the middle"

# The Windows player walks (arrow keys held): its view must show another part of the town.
for key in Right Down; do
  keys "$windows_display" "$win_game" keydown "$key"
  sleep 0.8
  keys "$windows_display" "$win_game" keyup "$key"
done
sleep 1
picture windows "$work/windows-walked.png"
moved="$( (python3 scripts/png_compare.py "$first_windows" "$work/windows-walked.png" || true) |
  sed -n 's/.*; \([0-9]*\) pixels differ.*/\1/p')"
echo "windows-play: after the walk $moved of 256000 pixels of the Windows client's picture changed"
[ "${moved:-0}" -gt 100000 ] || fail "the Windows player's view did not move while it walked"
step "the Windows player walked"

# --- 4. Chat both ways.
keys "$linux_display" "$lin_game" key t
keys "$linux_display" "$lin_game" type --delay 40 "hello from linux"
keys "$linux_display" "$lin_game" key Return
keys "$windows_display" "$win_game" key t
keys "$windows_display" "$win_game" type --delay 40 "hello from windows"
keys "$windows_display" "$win_game" key Return
chat_file() {
  find "$1" -path '*vxclient*chat*' -name '*.txt' 2>/dev/null | head -1
}
for i in $(seq 100); do
  lin_chat="$(chat_file "$lin_home")"
  win_chat="$(chat_file "$WINEPREFIX/drive_c/users/")"
  if [ -n "$lin_chat" ] && [ -n "$win_chat" ] && grep -q "> hello from windows" "$lin_chat" &&
    grep -q "> hello from linux" "$win_chat"; then
    break
  fi
  sleep 0.2
done
[ -n "$lin_chat" ] && grep -q "> hello from windows" "$lin_chat" || fail "the Linux client's chat log lacks the Windows player's line"
# The Windows player's name came on its command line with a letter beyond ASCII: the
# server made the account under it, and the player's own chat log names it so.
grep -q "^New account Tamsín on connection" "$work/server.log" ||
  fail "the Windows player's name did not come through as Tamsín: $(grep -a "New account" "$work/server.log")"
grep -q "<Tamsín> hello from windows" "$win_chat" ||
  fail "the Windows client's chat log does not name its player Tamsín: $(grep -a "hello from windows" "$win_chat")"
[ -n "$win_chat" ] && grep -q "> hello from linux" "$win_chat" || fail "the Windows client's chat log lacks the Linux player's line"
sleep 1
picture linux "$work/linux-chat.png"
picture windows "$work/windows-chat.png"
step "chat both ways (each chat log holds the other's line)"

echo "windows-play: passed in $((SECONDS - start)) s; pictures and logs in $work"
