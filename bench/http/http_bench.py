#!/usr/bin/python3
"""telvaned's HTTP interface under load and under attack, on loopback with the simulated modem.

    bench/http/http_bench.py [--build build] [--seconds 10] [--clients 4]

Printed: the service's RSS once it has polled and sits idle; requests a second for
GET /api/v1/status from `wrk` with --clients keep-alive connections (skipped when wrk is not
installed); then the RSS after each of the hostile loads the HTTP test also makes (a 200 MB
upload without a token, a 100 MB header, 300 connections held open from one address), and the
peak over the whole run. Each load is bounded: it stops when the service refuses or
after its size, whichever comes first.
"""
import argparse
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

TOKEN = "bench-token"


def wait_for(what, probe, deadline_s=30.0):
    end = time.monotonic() + deadline_s
    while not (result := probe()):
        if time.monotonic() > end:
            sys.exit(f"timed out waiting for {what}")
        time.sleep(0.05)
    return result


def memory_kb(pid, field):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def flood(port, head, size, chunk=1 << 16):
    """Sends `head` and then up to `size` bytes; stops when the service closes."""
    with socket.create_connection(("127.0.0.1", port)) as s:
        s.settimeout(10)
        s.sendall(head)
        sent, block = 0, b"x" * chunk
        try:
            while sent < size:
                sent += s.send(block[:min(chunk, size - sent)])
        except OSError:
            pass
        try:
            answer = s.recv(200)
        except OSError:
            answer = b""
    return sent, answer.split(b"\r\n")[0].decode(errors="replace")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--seconds", type=int, default=10)
    parser.add_argument("--clients", type=int, default=4)
    args = parser.parse_args()
    telvaned = os.path.join(args.build, "apps", "telvaned", "telvaned")
    modem_binary = os.path.join(args.build, "simulator", "telvane-modem")
    with tempfile.TemporaryDirectory(prefix="telvane-http-bench-") as work:
        home, link = os.path.join(work, "home"), os.path.join(work, "modem")
        os.makedirs(home)
        modem = subprocess.Popen([modem_binary, "--link", link], stdout=subprocess.DEVNULL)
        service = None
        try:
            wait_for("the simulated modem", lambda: os.path.exists(link + ".ctl"))
            with open(os.path.join(home, "Telvane.ini"), "wb") as ini:
                ini.write(("[Options]\r\nComPort=%s\r\nPeriod=1\r\nPacing=fast\r\n[Http]\r\n"
                           "Listen=127.0.0.1:0\r\nToken=%s\r\nRequestsPerSecond=1000000\r\n"
                           % (link, TOKEN)).encode())
            out = os.path.join(work, "telvaned.out")
            service = subprocess.Popen([telvaned, "--home", home], stdout=open(out, "w"),
                                       stderr=subprocess.STDOUT)
            url = wait_for("the interface", lambda: re.search(
                r"Веб-интерфейс: (http://\S+)/", open(out, encoding="utf-8").read())).group(1)
            port = int(url.rsplit(":", 1)[1])
            wait_for("a poll", lambda: "Связь с телефоном установлена" in open(
                out, encoding="utf-8").read())
            time.sleep(3)
            rows = [("idle", memory_kb(service.pid, "VmRSS"), "")]

            if shutil.which("wrk"):
                result = subprocess.run(
                    ["wrk", "-t", "2", "-c", str(args.clients), "-d", f"{args.seconds}s",
                     "-H", "Authorization: Bearer " + TOKEN, url + "/api/v1/status"],
                    capture_output=True, text=True, check=True).stdout
                rate = re.search(r"Requests/sec:\s+([\d.]+)", result).group(1)
                refused = re.search(r"Non-2xx or 3xx responses: (\d+)", result)
                rows.append((f"wrk {args.clients} clients {args.seconds} s",
                             memory_kb(service.pid, "VmRSS"),
                             f"{float(rate):.0f} requests/s" +
                             (f", {refused.group(1)} not 2xx" if refused else "")))
            else:
                rows.append(("wrk", 0, "not installed: apt-get install wrk"))

            sent, answer = flood(port, b"POST /api/v1/messages HTTP/1.1\r\nHost: x\r\n"
                                 b"Content-Length: 209715200\r\n\r\n", 200 << 20)
            rows.append(("200 MB upload, no token", memory_kb(service.pid, "VmRSS"),
                         f"{answer} after {sent >> 10} KB"))
            sent, answer = flood(port, b"GET /api/v1/status HTTP/1.1\r\nHost: x\r\nX-Big: ",
                                 100 << 20)
            rows.append(("100 MB header", memory_kb(service.pid, "VmRSS"),
                         f"{answer} after {sent >> 10} KB"))
            held = []
            for _ in range(300):
                s = socket.socket()
                s.connect(("127.0.0.1", port))
                s.sendall(b"GET /api/v1/status HTTP/1.1\r\nHost: x\r\n")
                held.append(s)
            time.sleep(1)
            rows.append(("300 connections held", memory_kb(service.pid, "VmRSS"), ""))
            for s in held:
                s.close()
            # The kernel updates the high-water mark lazily: the samples count too.
            rows.append(("peak", max([memory_kb(service.pid, "VmHWM")] + [r[1] for r in rows]),
                         ""))
        finally:
            for process in (service, modem):
                if process and process.poll() is None:
                    process.terminate()
                    process.wait(30)
    print(f"{'load':28} {'RSS MB':>7}  result")
    for name, kb, note in rows:
        print(f"{name:28} {kb / 1024:7.1f}  {note}")


if __name__ == "__main__":
    main()
