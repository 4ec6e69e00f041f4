#!/usr/bin/env bash
# Load run: the reference server on the sample world with a crowd of bots, all on
# 127.0.0.1 with free ports. Once every bot is in the game, one more connection
# must be refused with server_full (scripts/full_check.py). While it runs, the
# server's CPU and memory are sampled from /proc every SAMPLE_SECONDS (default 5)
# with the machine's load average. Prints the bots' figures (logins, beat
# round trip and key acknowledgement p50/p99/max, retransmissions), the
# server's CPU and memory, and its last lines; exits non-zero when a bot
# failed, the 64th connection was not refused as full, the server logged an
# error or a failure, or it did not stop cleanly.
# Everything is kept in LOAD_OUT (default build/load-<date>): server.log,
# bots.log, samples.csv (seconds, cpu %, resident KiB, threads, load average)
# and summary.txt.
# Usage: ./scripts/load.sh [BOTS] [SECONDS]     (default 63 bots for 60 seconds)
set -euo pipefail
cd "$(dirname "$0")/.."

bots="${1:-63}"
seconds="${2:-60}"
every="${SAMPLE_SECONDS:-5}"
build="${BUILD_DIR:-build}"
# LOAD_SKIP_BUILD=1 takes the programs already in $build/bin (for a run beside a build
# that is still going on in the same folder).
if [ -z "${LOAD_SKIP_BUILD:-}" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j 2 --target vxserver vxbot vxworldgen >/dev/null
fi
out="${LOAD_OUT:-$build/load-$(date -u +%Y%m%d-%H%M%S)}"
mkdir -p "$out"

work="$(mktemp -d)"
server=""
sampler=""
cleanup() {
  [ -n "$sampler" ] && kill "$sampler" 2>/dev/null || true
  [ -n "$server" ] && kill -TERM "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# One line per SAMPLE_SECONDS: CPU over the last interval (100 = one core).
sample() {
  local pid="$1" hz start prev_ticks=0 prev_t now ticks fields rss threads
  hz="$(getconf CLK_TCK)"
  start="$(date +%s.%N)"
  prev_t="$start"
  echo "seconds,cpu_percent,rss_kib,threads,load1"
  while [ -r "/proc/$pid/stat" ]; do
    fields="$(cut -d')' -f2- "/proc/$pid/stat" 2>/dev/null)" || break
    now="$(date +%s.%N)"
    ticks="$(echo "$fields" | awk '{print $12 + $13}')"
    rss="$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null)" || break
    threads="$(awk '/^Threads:/ {print $2}' "/proc/$pid/status" 2>/dev/null)" || break
    awk -v t="$now" -v s="$start" -v pt="$prev_t" -v k="$ticks" -v pk="$prev_ticks" -v hz="$hz" \
        -v rss="$rss" -v th="$threads" -v load="$(cut -d' ' -f1 /proc/loadavg)" \
        'BEGIN { dt = t - pt; cpu = dt > 0 ? 100 * (k - pk) / hz / dt : 0; printf "%.1f,%.1f,%d,%d,%s\n", t - s, cpu, rss, th, load }'
    prev_ticks="$ticks"
    prev_t="$now"
    sleep "$every"
  done
}

"$build/bin/vxworldgen" "$work/game" --seed 1 >/dev/null
"$build/bin/vxserver" --game "$work/game" --data "$work/data" --bind 127.0.0.1 \
  --tcp-port 0 --udp-port 0 --max-pending-per-address 63 --new-accounts-per-minute 1000 \
  --max-connections-per-address 63 --names-per-address 100000 \
  > "$out/server.log" 2>&1 &
server=$!

port=""
for _ in $(seq 100); do
  port="$(sed -n 's/^Listening on .* TCP port \([0-9]*\).*/\1/p' "$out/server.log")"
  [ -n "$port" ] && break
  kill -0 "$server" 2>/dev/null || { cat "$out/server.log"; exit 1; }
  sleep 0.1
done
[ -n "$port" ] || { echo "load: the server did not start listening"; cat "$out/server.log"; exit 1; }
sample "$server" > "$out/samples.csv" &
sampler=$!
load_before="$(cut -d' ' -f1-3 /proc/loadavg)"
echo "load: vxserver on 127.0.0.1 TCP port $port; $bots bots for $seconds s; load average $load_before"

status=0
"$build/bin/vxbot" --server 127.0.0.1 --tcp-port "$port" --count "$bots" --duration "$seconds" \
  > "$out/bots.log" 2>&1 &
botpid=$!

# With the whole socket table taken, one more connection is refused as full.
full="not checked (fewer than 63 bots)"
if [ "$bots" -ge 63 ]; then
  full="FAILED: the bots were not all in the game within 60 s"
  for _ in $(seq 600); do
    if [ "$(grep -c ' enters the game at (' "$out/server.log" || true)" -ge 63 ]; then
      if full="$(python3 scripts/full_check.py "$port")"; then :; else status=1; fi
      break
    fi
    sleep 0.1
  done
  case "$full" in "full check: one more"*) ;; *) status=1 ;; esac
fi

wait "$botpid" || status=$?
load_after="$(cut -d' ' -f1-3 /proc/loadavg)"
peak="$(awk '/^VmHWM:/ {print $2}' "/proc/$server/status" 2>/dev/null || echo "?")"
kill -TERM "$server"
wait "$server" || status=$?
server=""
sleep 0.2
kill "$sampler" 2>/dev/null || true
wait "$sampler" 2>/dev/null || true
sampler=""

errors="$(grep -ciE 'error|fail' "$out/server.log" || true)"
[ "$errors" -eq 0 ] || status=1
grep -q "Server stopped; everything saved." "$out/server.log" || status=1
{
  echo "load: $bots bots for $seconds s against vxserver on 127.0.0.1; $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p')"
  echo "load: load average (1, 5, 15 min) before $load_before, after $load_after"
  sed -n '/^vxbot: [0-9]* bots for/,$p' "$out/bots.log"
  echo "$full"
  # The first sample's CPU counts from before the server listened; it is left out.
  awk -F, 'NR > 2 { n++; s += $2; if ($2 > m) m = $2 } NR == 2 { first = $3 } NR >= 2 { if ($3 > r) r = $3; last = $3 } END {
      if (n) printf "load: server CPU %.1f %% of one core on average, %.1f %% at most (%d samples); resident %d KiB at the start, %d KiB at most, %d KiB at the end", s / n, m, n, first, r, last }' "$out/samples.csv"
  echo "; peak $peak KiB (VmHWM)"
  echo "load: server log: $(wc -l < "$out/server.log") lines, $errors naming an error or failure; last lines:"
  tail -n 3 "$out/server.log"
  echo "load: exit $status; files in $out"
} | tee "$out/summary.txt"
exit "$status"
