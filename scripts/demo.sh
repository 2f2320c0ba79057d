#!/usr/bin/env bash
# Installs what is missing, builds, and runs the gateway service against the simulated modem,
# in a throw-away home folder, with the HTTP interface on loopback (a free port, a random
# token). Stop it with Ctrl-C.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh" packages-build.txt
"$root/scripts/build.sh" -DTELVANE_BUILD_TESTS=OFF -DTELVANE_BUILD_BENCHMARKS=OFF
build="${TELVANE_BUILD_DIR:-$root/build}"

home="$(mktemp -d /tmp/telvane-demo.XXXXXX)"
link="$home/modem"
mkdir -p "$home/Send" "$home/Receive" "$home/Logs"
# A port nobody listens on now (python3 comes with the build's packages), and a token nobody
# could guess: loopback only, as the interface should be.
port="$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
token="$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')"
url="http://127.0.0.1:$port"
printf '[Options]\r\nComPort=%s\r\nPeriod=5\r\nLog=1\r\n[Http]\r\nListen=127.0.0.1:%s\r\nToken=%s\r\n' \
    "$link" "$port" "$token" >"$home/Telvane.ini"

# Two messages waiting in the phone, and one file waiting to be sent.
cat >"$home/phone-memory.txt" <<'PDUS'
07912143658709F1040B912143658709F100006221501270032105C8329BFD06
07912143658709F1040B912143658709F1000862215012700321140417043404400430043204410442043204430439
PDUS
printf '+79161234567\tHello from Telvane\r\n' >"$home/Send/hello.txt"

"$build/simulator/telvane-modem" --link "$link" --me "$home/phone-memory.txt" \
    --sent "$home/sent-by-modem.txt" >/dev/null &
modem=$!
trap 'kill "$modem" 2>/dev/null; wait "$modem" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [[ -e "$link" ]] && break; sleep 0.1; done

cat <<INFO
Home folder: $home
  received messages: $home/Receive/ (one file a day, Windows-1251)
  send folder:       $home/Send/ (drop "number<TAB>text" files here)
  logs:              $home/Logs/Log.txt and PortLog.txt
  what the modem sent: $home/sent-by-modem.txt
HTTP interface: $url/ (open it in a browser; the token is asked once)
  token:      $token
  send one:   curl -H "Authorization: Bearer $token" -H "Content-Type: application/json" \\
                   -d '{"to": "+79161234567", "text": "Привет"}' $url/api/v1/messages
  its state:  curl -H "Authorization: Bearer $token" $url/api/v1/messages/ID
  the inbox:  curl -H "Authorization: Bearer $token" "$url/api/v1/inbox?after=0"
  the API:    $url/api/v1/openapi.json (OpenAPI 3.1, also docs/openapi.yaml)
The gateway polls the simulated modem every 5 seconds. Ctrl-C stops it.
INFO
"$build/apps/telvaned/telvaned" --home "$home" || true
