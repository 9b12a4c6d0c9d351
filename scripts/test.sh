#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test; then builds the client tests in Release and runs them once more,
# because a timing-dependent fault may show in only one of the two builds; then
# runs each fuzz program of tests/fuzz for 20 seconds (scripts/fuzz.sh).
# Arguments go to both ctest runs (for example -R tst_netdisk) and leave the
# fuzzing out. Exits non-zero on any failure.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

./scripts/setup-deps.sh

jobs="$(nproc)"
# ccache where the machine has it (CI has none).
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# Each test's environment (offscreen platform, sanitizer options) is set by its
# registration in CMake.
build="$root/build-test"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DFOLVANE_SANITIZE=ON "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$jobs"
(cd "$build" && ctest --output-on-failure -j"$jobs" "$@")

release="$root/build-rel"
cmake -S "$root" -B "$release" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
cmake --build "$release" --target folvane_client_tests -j"$jobs"
(cd "$release" && ctest --output-on-failure -j"$jobs" -L client "$@")

if [ $# -eq 0 ]; then
  ./scripts/fuzz.sh 20
fi
