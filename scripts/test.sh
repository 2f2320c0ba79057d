#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test three ways, each in a build folder of its
# own: the suite as shipped (with the fuzz targets and benchmarks); the whole suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer, warnings as errors; and the engine tests
# under ThreadSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TELVANE_BUILD_DIR:-$root/build}"
jobs="$(nproc)"
"$root/scripts/install-deps.sh" packages-build.txt packages-test.txt
"$root/scripts/build.sh" -DTELVANE_BUILD_TESTS=ON -DTELVANE_BUILD_BENCHMARKS=ON
(cd "$build" && ctest --output-on-failure -j"$jobs" --timeout 600)

# A sanitized build: folder suffix, sanitizers, then the targets to build (all when none). Each
# is a full build of its own: ccache, where installed, makes an unchanged file a cache hit.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
sanitized() {
    local dir="$build-$1" sanitize="$2"
    shift 2
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" \
        -DTELVANE_BUILD_TESTS=ON -DTELVANE_BUILD_BENCHMARKS=OFF -DTELVANE_FUZZ=OFF \
        -DTELVANE_WERROR=ON -DTELVANE_SANITIZE="$sanitize" "${launcher[@]}" >/dev/null
    cmake --build "$dir" -j"$jobs" ${1:+--target "$@"}
}

sanitized asan address,undefined
(cd "$build-asan" && LSAN_OPTIONS="suppressions=$root/scripts/lsan-suppressions.txt" \
    UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j"$jobs" --timeout 900)

# Only the engine: the tray's tests are widget tests now, and Qt's own threads in them are beyond
# what ThreadSanitizer can follow in an uninstrumented Qt.
sanitized tsan thread gateway_engine_test
(cd "$build-tsan" && TSAN_OPTIONS=halt_on_error=1 \
    ctest --output-on-failure -j"$jobs" --timeout 600 -R '^GatewayEngineTest\.')
