#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each on its seed corpus, one process per
# target on one core (libFuzzer's default: no -jobs, no -workers).
# Usage: ./scripts/fuzz.sh [SECONDS] [TARGET...]   (default 60 s each, every target)
# FUZZ_BUILD_DIR picks the build folder (default: build-fuzz); FUZZ_OUT_DIR keeps the
# corpora, crash files and logs (default: FUZZ_BUILD_DIR/fuzz-out); FUZZ_PARALLEL runs
# that many targets at once (default 1). Exits 1 when a target found a crash, a
# sanitizer report, a leak or a hang.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] ||
  targets=(fuzz_net fuzz_client fuzz_server fuzz_config fuzz_shapes fuzz_world fuzz_makemap fuzz_initgame)

build="${FUZZ_BUILD_DIR:-build-fuzz}"
out="${FUZZ_OUT_DIR:-$build/fuzz-out}"
parallel="${FUZZ_PARALLEL:-1}"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_FUZZ=ON \
  -DVX_BUILD_TESTS=OFF -DVX_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j 2 --target make_seeds "${targets[@]}"

mkdir -p "$out"
seeds="$out/seeds"
rm -rf "$seeds"
"$build/bin/make_seeds" "$seeds"

# Runs one target; its summary line goes to $out/$t.summary, its exit code is the target's.
run_target() {
  local t=$1 corpus="$out/corpus/$1" crashes="$out/crashes/$1" log="$out/$1.log" rc pid
  mkdir -p "$corpus" "$crashes"
  # The slow targets take inputs of any length at once instead of growing them from
  # small ones, which at their speed would take most of a short run.
  local extra=()
  case "$t" in
    fuzz_server) extra=(-len_control=0 -max_len=512) ;;
    fuzz_makemap) extra=(-len_control=0) ;;
  esac
  # stdout carries the libraries' console lines: closed (-close_fd_mask=1) so it costs nothing.
  set +e
  "$build/bin/$t" "$corpus" "$seeds/${t#fuzz_}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$crashes/" "${extra[@]}" >"$log" 2>&1 &
  pid=$!
  wait $pid
  rc=$?
  set -e
  # A crashed target cannot remove its scratch folder (fuzz/fuzz_folder.h) itself.
  rm -rf "/dev/shm/vxfuzz_$pid" "${TMPDIR:-/tmp}/vxfuzz_$pid"
  local runs speed cov ft found line
  runs=$(grep -ao 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1 || true)
  speed=$(grep -ao 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1 || true)
  cov=$(grep -ao 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || true)
  ft=$(grep -ao 'ft: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || true)
  found=$(find "$crashes" -type f | wc -l)
  line="$t: ${runs:-?} runs in ${seconds}s (${speed:-?}/s), cov ${cov:-?} ft ${ft:-?}, corpus $(ls "$corpus" | wc -l) files, findings $found"
  if [ "$rc" -ne 0 ]; then
    line="$line  FAILED (exit $rc; see $log)"
    # What went wrong and the input that did it, in the summary, so that a run whose
    # folder is gone (a CI clone) can still be reproduced: the input is base64, at most
    # 8 KB of it (make it a file with base64 -d).
    local why artifact
    why=$(grep -a -m1 -E 'ERROR: (AddressSanitizer|libFuzzer|LeakSanitizer)|runtime error|ALARM|fuzz_[a-z]*: ' "$log" || true)
    line="$line"$'\n'"  ${why:-(no report line; see the log)}"
    artifact=$(find "$crashes" -type f | head -1)
    if [ -n "$artifact" ]; then
      line="$line"$'\n'"  input $(basename "$artifact") ($(stat -c %s "$artifact") bytes): $(head -c 8192 "$artifact" | base64 -w0)"
    fi
  fi
  echo "$line" >"$out/$t.summary"
  echo "$line"
  return "$rc"
}

failed=0
pids=()
for t in "${targets[@]}"; do
  echo "== $t: ${seconds}s"
  run_target "$t" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$parallel" ]; then
    wait "${pids[0]}" || failed=$((failed + 1))
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do
  wait "$pid" || failed=$((failed + 1))
done

echo
echo "== summary"
for t in "${targets[@]}"; do cat "$out/$t.summary"; done
echo "fuzz: $((${#targets[@]} - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
