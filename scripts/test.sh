#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test. Exits non-zero on any failure.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

./scripts/setup-deps.sh

build="$root/build-test"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DFOLVANE_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

# Each test's environment (offscreen platform, sanitizer options) is set by its
# registration in CMake.
cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"
