#!/usr/bin/env bash
# Makes the README's pictures of the tray application (the menu, the Options dialog, the folder
# chooser, a notification) by running the tray test's walk with pictures on: the real program
# against the simulated modem on a virtual X server with a tray host, so no desktop is needed.
# Then the HTTP interface's status page, from its walk in headless chromium.
# Needs xvfb, trayer, xdotool, x11-utils, imagemagick, chromium, chromium-driver and
# python3-selenium (packages-test.txt) and a build.
#
#   scripts/screenshots.sh [--build DIR] [--out docs]
#
# Exit status 77 when one of those tools is missing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TELVANE_BUILD_DIR:-$root/build}"
out="$root/docs"
while (($#)); do
    case "$1" in
        --build) build="$2"; shift 2 ;;
        --out) out="$2"; shift 2 ;;
        *) echo "usage: $0 [--build DIR] [--out DIR]" >&2; exit 64 ;;
    esac
done
for program in apps/telvane/telvane apps/telvaned/telvaned simulator/telvane-modem \
    apps/telvane-pdu/telvane-pdu; do
    [[ -x "$build/$program" ]] || { echo "no $program in $build: build it first" >&2; exit 1; }
done
mkdir -p "$out"
/usr/bin/python3 "$root/tests/tray/tray_xvfb_test.py" --pictures "$out" \
    "$build/apps/telvane/telvane" "$build/simulator/telvane-modem"
exec /usr/bin/python3 "$root/tests/apps/http_test.py" page --pictures "$out" \
    "$build/apps/telvaned/telvaned" "$build/simulator/telvane-modem" \
    "$build/apps/telvane-pdu/telvane-pdu"
