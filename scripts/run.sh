#!/usr/bin/env bash
# Builds the client and the server (release) and starts the client from the
# folder that holds its translations.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

./scripts/setup-deps.sh

build="$root/build-release"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target folvane folvane-server

cd "$build/bin"
exec ./folvane "$@"
