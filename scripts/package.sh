#!/usr/bin/env bash
# Builds the two Debian packages, folvane (the client) and folvane-server, in
# build-deb (Release, without the tests) and prints where they are.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

./scripts/setup-deps.sh

build="$root/build-deb"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DFOLVANE_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
(cd "$build" && cpack -G DEB)
ls -1 "$build"/*.deb
