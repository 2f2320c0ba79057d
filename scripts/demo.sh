#!/usr/bin/env bash
# Installs what is missing, builds, and runs the gateway service against the simulated modem,
# in a throw-away home folder. Stop it with Ctrl-C.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh" packages-build.txt
"$root/scripts/build.sh" -DTELVANE_BUILD_TESTS=OFF -DTELVANE_BUILD_BENCHMARKS=OFF
build="${TELVANE_BUILD_DIR:-$root/build}"

home="$(mktemp -d /tmp/telvane-demo.XXXXXX)"
link="$home/modem"
mkdir -p "$home/Send" "$home/Receive" "$home/Logs"
printf '[Options]\r\nComPort=%s\r\nPeriod=5\r\nLog=1\r\n' "$link" >"$home/Telvane.ini"

"$build/simulator/telvane-modem" --link "$link" >/dev/null &
modem=$!
trap 'kill "$modem" 2>/dev/null; wait "$modem" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [[ -e "$link" ]] && break; sleep 0.1; done

echo "Home folder: $home (the port log is in $home/Logs/PortLog.txt)"
echo "The gateway polls the simulated modem every 5 seconds. Ctrl-C stops it."
"$build/apps/telvaned/telvaned" --home "$home" || true
