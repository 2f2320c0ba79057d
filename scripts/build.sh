#!/usr/bin/env bash
# Configures and builds into build/ (or $TELVANE_BUILD_DIR).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TELVANE_BUILD_DIR:-$root/build}"
# ccache, where installed, turns the rebuild of an unchanged file into a cache hit.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
