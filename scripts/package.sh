#!/usr/bin/env bash
# Builds the Debian packages into build-deb/ (or $TELVANE_BUILD_DIR): telvane (the service),
# telvane-tray (the tray application) and telvane-modem (the simulated modem), named
# NAME_VERSION_ARCH.deb. Built as Debian builds its packages: build type None and the flags of
# dpkg-buildflags (optimised, hardened, with debug information that CPack strips);
# their dependencies come from the binaries (dpkg-shlibdeps). Install what it prints with
#   sudo apt-get install ./build-deb/telvane_*.deb
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TELVANE_BUILD_DIR:-$root/build-deb}"
"$root/scripts/install-deps.sh" packages-build.txt
# Every hardening Debian has (bindnow too); given on each run, so that a build folder made
# before picks them up.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
TELVANE_BUILD_DIR="$build" "$root/scripts/build.sh" -DCMAKE_BUILD_TYPE=None \
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" \
    -DTELVANE_BUILD_TESTS=OFF -DTELVANE_BUILD_BENCHMARKS=OFF
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/*.deb
