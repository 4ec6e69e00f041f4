#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each in turn, one process on one core
# (libFuzzer's default: no -jobs, no -workers).
# Usage: ./scripts/fuzz.sh [SECONDS] [TARGET...]   (default 60 s each, every target)
# FUZZ_BUILD_DIR picks the build folder (default: build-fuzz); FUZZ_OUT_DIR keeps the
# corpora, crash files and logs (default: FUZZ_BUILD_DIR/fuzz-out). Exits 1 when a
# target found a crash, a sanitizer report, a leak or a hang.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_net fuzz_shapes fuzz_world fuzz_initgame)

build="${FUZZ_BUILD_DIR:-build-fuzz}"
out="${FUZZ_OUT_DIR:-$build/fuzz-out}"

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_FUZZ=ON \
  -DVX_BUILD_TESTS=OFF -DVX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j 2 --target make_seeds "${targets[@]}"

mkdir -p "$out"
seeds="$out/seeds"
rm -rf "$seeds"
"$build/bin/make_seeds" "$seeds"

status=0
summary=()
for t in "${targets[@]}"; do
  corpus="$out/corpus/$t"
  crashes="$out/crashes/$t"
  mkdir -p "$corpus" "$crashes"
  seed_dir="$seeds/${t#fuzz_}"
  log="$out/$t.log"
  echo "== $t: ${seconds}s"
  # stdout carries the libraries' console lines: closed (-close_fd_mask=1) so it costs nothing.
  set +e
  "$build/bin/$t" "$corpus" "$seed_dir" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$crashes/" >"$log" 2>&1 &
  pid=$!
  wait $pid
  rc=$?
  set -e
  # A crashed target cannot remove its scratch folder (fuzz/fuzz_folder.h) itself.
  rm -rf "/dev/shm/vxfuzz_$pid" "${TMPDIR:-/tmp}/vxfuzz_$pid"
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1 || true)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || true)
  found=$(find "$crashes" -type f | wc -l)
  line="$t: ${runs:-?} runs in ${seconds}s, coverage ${cov:-?} edges, corpus $(ls "$corpus" | wc -l) files, findings $found"
  if [ "$rc" -ne 0 ]; then
    line="$line  FAILED (exit $rc; see $log)"
    grep -m1 -E 'ERROR: (AddressSanitizer|libFuzzer|LeakSanitizer)|runtime error|fuzz_[a-z]*: ' "$log" || true
    status=1
  fi
  echo "$line"
  summary+=("$line")
done

echo
echo "== summary"
printf '%s\n' "${summary[@]}"
exit $status
