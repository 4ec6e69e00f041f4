#!/usr/bin/env bash
# Compares the benchmarks of two versions of the code in one run: builds each into a
# folder of its own, then runs the two sets of benchmark programs alternately, round
# after round, so that whatever else the machine does falls on both alike. Prints,
# per benchmark, the median CPU time of each and the ratio after / before.
#
# Usage: ./scripts/bench-compare.sh [BEFORE] [AFTER] [--rounds N] [--filter REGEX]
#   BEFORE  a git revision (default: HEAD)
#   AFTER   a git revision, or "." for the working tree (the default)
#   --rounds N       rounds of alternate runs (default 5)
#   --filter REGEX   only benchmarks whose name matches (Google Benchmark's filter)
# Take figures only when nothing else runs on the machine; the load average before
# and after is printed with them.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

before=HEAD
after=.
rounds=5
filter=.
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds="$2"; shift 2 ;;
    --filter) filter="$2"; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) positional+=("$1"); shift ;;
  esac
done
[ ${#positional[@]} -ge 1 ] && before="${positional[0]}"
[ ${#positional[@]} -ge 2 ] && after="${positional[1]}"
case "$rounds" in ''|*[!0-9]*) echo "bench-compare: --rounds takes a number" >&2; exit 2 ;; esac

work="${BENCH_DIR:-$root/build-bench}"
mkdir -p "$work"
programs=(bench_render bench_drawing bench_framing bench_minimap)

# The source of one side: a worktree of the revision, or this working tree.
source_of() {
  local rev="$1" name="$2"
  if [ "$rev" = . ]; then
    echo "$root"
    return
  fi
  local dir="$work/src-$name"
  git worktree remove --force "$dir" >/dev/null 2>&1 || rm -rf "$dir"
  git worktree add --detach "$dir" "$rev" >/dev/null
  echo "$dir"
}

build_side() {
  local src="$1" out="$2"
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # A folder configured from the other kind of source (the working tree, or a
  # revision's worktree) is made afresh; CMake refuses to switch it.
  if [ -f "$out/CMakeCache.txt" ] &&
    ! grep -qxF "CMAKE_HOME_DIRECTORY:INTERNAL=$src" "$out/CMakeCache.txt"; then
    rm -rf "$out"
  fi
  CCACHE_BASEDIR="$src" CCACHE_NOHASHDIR=1 cmake -S "$src" -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVX_BUILD_BENCH=ON "${launcher[@]}" >/dev/null
  local start=$SECONDS
  CCACHE_BASEDIR="$src" CCACHE_NOHASHDIR=1 cmake --build "$out" -j 2 --target "${programs[@]}" >/dev/null
  echo "bench-compare: built $out in $((SECONDS - start)) s"
}

src_before="$(source_of "$before" before)"
src_after="$(source_of "$after" after)"
build_side "$src_before" "$work/before"
build_side "$src_after" "$work/after"

echo "bench-compare: $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "bench-compare: before $(git -C "$src_before" rev-parse --short HEAD)$([ "$before" = . ] && echo ' (working tree)'), after $(git -C "$src_after" rev-parse --short HEAD)$([ "$after" = . ] && echo ' (working tree)'), $rounds rounds"
results="$work/results"
rm -rf "$results"
mkdir -p "$results"
for round in $(seq 1 "$rounds"); do
  for side in before after; do
    for p in "${programs[@]}"; do
      bin="$(find "$work/$side" -name "$p" -type f -perm -u+x | head -1)"
      [ -n "$bin" ] || { echo "bench-compare: no $p in $work/$side" >&2; exit 1; }
      "$bin" --benchmark_filter="$filter" --benchmark_format=json \
        --benchmark_out="$results/$side-$p-$round.json" --benchmark_out_format=json >/dev/null
    done
  done
  echo "bench-compare: round $round of $rounds done"
done
echo "bench-compare: load after $(cut -d' ' -f1-3 /proc/loadavg)"

python3 - "$results" <<'EOF'
import glob, json, os, statistics, sys
results = sys.argv[1]
times = {}  # (side, name) -> [cpu ns]
for path in glob.glob(os.path.join(results, "*.json")):
    side = os.path.basename(path).split("-")[0]
    if os.path.getsize(path) == 0:
        continue  # the program has no benchmark the filter takes
    with open(path) as f:
        for b in json.load(f)["benchmarks"]:
            scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
            times.setdefault((side, b["name"]), []).append(b["cpu_time"] * scale)
names = sorted({name for _, name in times})
print(f"{'benchmark':44} {'before':>12} {'after':>12} {'after/before':>13}")
for name in names:
    b = times.get(("before", name))
    a = times.get(("after", name))
    fmt = lambda v: f"{statistics.median(v) / 1e3:10.2f}us" if v else f"{'-':>12}"
    ratio = f"{statistics.median(a) / statistics.median(b):13.3f}" if a and b else f"{'-':>13}"
    print(f"{name:44} {fmt(b)} {fmt(a)} {ratio}")
EOF
