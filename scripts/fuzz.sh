#!/usr/bin/env bash
# Builds the fuzz programs of tests/fuzz (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz and runs each for a fixed time,
# two at a time, starting from its seed corpus in the repository.
#   scripts/fuzz.sh [seconds per program, default 20] [program names...]
# New inputs the fuzzers find go to build-fuzz/corpus/<program>; the input of
# a crash, leak, timeout or sanitizer report is kept as
# build-fuzz/artifacts/<program>/<kind>-<hash> and the script exits non-zero.
# Each program's log is build-fuzz/logs/<program>.log.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

seconds="${1:-20}"
shift || true

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
build="$root/build-fuzz"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DFOLVANE_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
cmake --build "$build" --target folvane_fuzzers -j"$(nproc)"

programs=("$@")
if [ ${#programs[@]} -eq 0 ]; then
  for seeds in "$root"/tests/fuzz/corpus/*/; do
    programs+=("$(basename "$seeds")")
  done
fi

mkdir -p "$build/logs"
run() {
  local name="$1" dict="$root/tests/fuzz/json.dict"
  case "$name" in fuzz_formreader | fuzz_multipart | fuzz_linkpage) dict="$root/tests/fuzz/http.dict" ;; esac
  mkdir -p "$build/corpus/$name" "$build/artifacts/$name"
  local status=0
  env QT_QPA_PLATFORM=offscreen \
    ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1 \
    LSAN_OPTIONS="suppressions=$root/tests/support/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/bin/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -dict="$dict" -print_final_stats=1 -artifact_prefix="$build/artifacts/$name/" \
    "$build/corpus/$name" "$root/tests/fuzz/corpus/$name" >"$build/logs/$name.log" 2>&1 ||
    status=$?
  local runs
  runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/logs/$name.log" | grep -o '[0-9]*$' || true)"
  printf '%-18s %s executions in %ss, exit %s\n' "$name" "${runs:-?}" "$seconds" "$status"
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$build/logs/$name.log"
    ls "$build/artifacts/$name"
  fi
  return "$status"
}

# Two at a time: the machines have two cores.
failed=0
pids=()
for name in "${programs[@]}"; do
  if [ ${#pids[@]} -ge 2 ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
  run "$name" &
  pids+=($!)
done
for pid in "${pids[@]}"; do
  wait "$pid" || failed=1
done
if [ "$failed" -ne 0 ]; then
  echo "fuzzing found a fault: see the artifacts and logs above" >&2
  exit 1
fi
