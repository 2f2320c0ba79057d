#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh" packages-build.txt packages-test.txt
"$root/scripts/build.sh" -DTELVANE_BUILD_TESTS=ON -DTELVANE_BUILD_BENCHMARKS=ON
cd "${TELVANE_BUILD_DIR:-$root/build}"
ctest --output-on-failure -j"$(nproc)" --timeout 600
