#!/usr/bin/python3
"""Telvane beside the gateways people compare it with, on one simulated modem and workload.

    bench/peers/compare.py [--build build] [--runs 3] [--baud 115200] [--network-delay MS[,KEPT]]
                           [--messages 60] [--only telvane,telvane-fast,gammu-smsd,smstools]
                           [--samples 5] [--idle 120]

Workloads: "send" drops the messages as files (five of six single-part, one of six in three
parts) and ends when the modem has accepted every PDU; "receive" preloads the phone memory
(the one smstools reads by default) with the same messages and ends when the memory is empty
(each gateway deletes a message only once it has stored it). Telvane runs one poll
(telvaned --once), with each of its pacing profiles; gammu-smsd (Debian's gammu-smsd, files backend) and smstools3 (Debian's
smstools) run in the foreground with their own configuration in a temporary folder, never as
system services, and are skipped when they are not installed. Printed: the median over the
runs of the whole time, time per message, the time to the first message (the first PDU the
modem accepted, or the first message stored), CPU time and peak RSS of the gateway's
processes, and each peer's time against Telvane's.

In service: each gateway keeps running (Telvane with a poll period of a minute, so that what is
measured is how it hears of work, not its poll); the median over --samples of the time from a
file dropped to the modem's acceptance of its PDU, and from a message stored by the modem to
its deletion there (each gateway deletes a message once it has stored it). Then, with nothing
to do (Telvane polling every second), its CPU time over --idle seconds and its peak RSS.
"""
import argparse
import datetime
import os
import pathlib
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

try:
    import gammu
except ImportError:
    sys.exit("python3-gammu builds the received messages: apt-get install python3-gammu")

NUMBER = "+79161234567"
SMSC = "+79168999100"
DEADLINE_S = 900


def texts(count):
    """Five of six short, one of six long enough for three 7-bit parts; all different."""
    for i in range(count):
        if i % 6 == 5:
            yield f"Long message {i:03d} " + "lorem ipsum dolor sit amet " * 15
        else:
            yield f"Order {i:03d} is ready for pickup at the counter."


def deliver_pdus(count):
    """SMS-DELIVER PDUs, SMSC part first, as AT+CMGL lists them (built by python3-gammu)."""
    pdus = []
    stamp = datetime.datetime(2026, 12, 7, 10, 0, 0)
    for i, text in enumerate(texts(count)):
        info = {"Class": -1, "Unicode": False,
                "Entries": [{"ID": "ConcatenatedTextLong", "Buffer": text}]}
        for part in gammu.EncodeSMS(info):
            part.update(Number=NUMBER, Type="Deliver",
                        DateTime=stamp + datetime.timedelta(seconds=i),
                        SMSC={"Location": 0, "Number": SMSC, "Validity": "NA", "Format": "Text",
                              "DefaultNumber": "", "Name": ""})
            pdus.append(gammu.EncodePDU(part, "Deliver").hex().upper())
    return pdus


class Modem:
    def __init__(self, binary, folder, baud, network_delay, me_pdus=()):
        self.folder = folder
        self.link = str(folder / "modem")
        self.sent = folder / "modem-sent.txt"
        args = [binary, "--link", self.link, "--sent", str(self.sent), "--baud", str(baud)]
        if network_delay not in ("", "0"):
            args += ["--network-delay", network_delay]
        if me_pdus:
            memory = folder / "me.txt"
            memory.write_text("\n".join(me_pdus) + "\n")
            args += ["--me", str(memory)]
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.process.stdout.readline()  # the slave's path: the link is there

    def accepted(self):
        return len(self.sent.read_text().splitlines()) if self.sent.exists() else 0

    def stored(self):
        with socket.socket(socket.AF_UNIX) as control:
            control.connect(self.link + ".ctl")
            control.sendall(b"list me\n")
            answer = control.makefile().readline()
        return answer.count(",") // 2

    def stop(self):
        self.process.terminate()
        self.process.wait()


def wait_until(condition, first, started):
    """Polls every 50 ms; returns (the time `first` became true, the time `condition` did)."""
    first_at = None
    while time.monotonic() - started < DEADLINE_S:
        now = time.monotonic()
        if first_at is None and first():
            first_at = now - started
        if condition():
            return first_at if first_at is not None else now - started, now - started
        time.sleep(0.05)
    raise TimeoutError("the workload did not finish")


def group_sum(group, of_process):
    """`of_process` of each process of one process group (its /proc folder), added up."""
    total = 0
    for entry in pathlib.Path("/proc").iterdir():
        try:
            if entry.name.isdigit() and os.getpgid(int(entry.name)) == group:
                total += of_process(entry)
        except (OSError, ValueError, IndexError):
            continue  # ended meanwhile
    return total


def peak_rss_kb(process):
    for line in (process / "status").read_text().splitlines():
        if line.startswith("VmHWM:"):
            return int(line.split()[1])
    return 0


def cpu_ticks(process):
    fields = (process / "stat").read_text().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime, stime


def group_rss_mb(group):
    """The peak resident sizes (VmHWM) of the processes of one process group, added up."""
    return group_sum(group, peak_rss_kb) / 1024


def stop(process):
    """Ends the gateway (SIGTERM to its whole group) and returns its resource usage."""
    try:
        os.killpg(process.pid, signal.SIGTERM)  # unless it ended by itself
    except ProcessLookupError:
        pass
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    return usage


# Each gateway: how to lay out its folders, drop a message, start it, and find its results.
class Telvane:
    def __init__(self, build, pacing="standard"):
        self.binary = build / "apps/telvaned/telvaned"
        self.pacing = pacing
        self.name = "telvane" if pacing == "standard" else f"telvane-{pacing}"

    def available(self):
        return self.binary.exists()

    def prepare(self, home, modem, baud, period=1):
        (home / "Send").mkdir(exist_ok=True)
        (home / "Telvane.ini").write_bytes(
            f"[Options]\r\nComPort={modem.link}\r\nComPortSpeed={baud}\r\nPeriod={period}\r\n"
            f"Pacing={self.pacing}\r\n".encode())

    def drop(self, home, i, text):
        path = home / "Send" / f"m{i:03d}.txt"
        path.write_bytes(f"{NUMBER[1:]}\t{text}".encode("cp1251"))
        old = time.time() - 10  # older than the two seconds a file is given to be finished
        os.utime(path, (old, old))

    def start(self, home, once=True):
        with open(home / "statuses.txt", "wb") as statuses:
            return subprocess.Popen(
                [str(self.binary), "--home", str(home)] + (["--once"] if once else []),
                stdout=statuses, stderr=subprocess.DEVNULL, start_new_session=True)

    def wait_in_service(self, home):
        """Files are heard of from the connection on; one dropped before waits for a poll."""
        wait_for(lambda: "Пауза перед опросом телефона".encode()
                 in (home / "statuses.txt").read_bytes())


class GammuSmsd:
    name = "gammu-smsd"

    def wait_in_service(self, home):
        pass

    def available(self):
        return shutil.which("gammu-smsd") is not None

    def prepare(self, home, modem, baud, period=1):
        for folder in ("inbox", "outbox", "sent", "error"):
            (home / folder).mkdir()
        (home / "smsdrc").write_text(
            f"[gammu]\ndevice = {modem.link}\nconnection = at{baud}\n"
            f"[smsd]\nservice = files\nlogfile = {home}/smsd.log\ndebuglevel = 0\n"
            f"inboxpath = {home}/inbox/\noutboxpath = {home}/outbox/\n"
            f"sentsmspath = {home}/sent/\nerrorsmspath = {home}/error/\n"
            "outboxformat = standard\ntransmitformat = auto\n"
            "receivefrequency = 1\ncommtimeout = 1\nsendtimeout = 30\n")

    def drop(self, home, i, text):
        (home / "outbox" / f"OUTC20261207_100000_{i:02d}_{NUMBER}_m{i:03d}.txt").write_text(text)

    def start(self, home, once=True):
        return subprocess.Popen(["gammu-smsd", "-c", str(home / "smsdrc")],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                start_new_session=True)


class Smstools:
    name = "smstools"

    def wait_in_service(self, home):
        pass

    def available(self):
        return shutil.which("smsd") is not None

    def prepare(self, home, modem, baud, period=1):
        for folder in ("outgoing", "checked", "incoming", "failed", "sent"):
            (home / folder).mkdir()
        (home / "smsd.conf").write_text(
            f"devices = GSM1\noutgoing = {home}/outgoing\nchecked = {home}/checked\n"
            f"incoming = {home}/incoming\nfailed = {home}/failed\nsent = {home}/sent\n"
            f"logfile = {home}/smsd.log\nloglevel = 4\ninfofile = {home}/smsd.running\n"
            f"pidfile = {home}/smsd.pid\nstats = {home}\nstats_interval = 0\n"
            f"[GSM1]\ndevice = {modem.link}\nbaudrate = {baud}\nincoming = yes\n")

    def drop(self, home, i, text):
        (home / "outgoing" / f"m{i:03d}").write_text(f"To: {NUMBER[1:]}\n\n{text}\n")

    def start(self, home, once=True):
        return subprocess.Popen(["smsd", "-c", str(home / "smsd.conf"), "-t"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                start_new_session=True)


def run_once(gateway, workload, args):
    with tempfile.TemporaryDirectory(prefix="telvane-peers-") as scratch:
        scratch = pathlib.Path(scratch)
        home = scratch / "home"
        home.mkdir()
        all_texts = list(texts(args.messages))
        pdus = deliver_pdus(args.messages) if workload == "receive" else ()
        modem = Modem(str(args.build / "simulator/telvane-modem"), scratch, args.baud,
                      args.network_delay, pdus)
        try:
            gateway.prepare(home, modem, args.baud)
            if workload == "send":
                for i, text in enumerate(all_texts):
                    gateway.drop(home, i, text)
                parts = sum(3 if i % 6 == 5 else 1 for i in range(args.messages))
                done, first = (lambda: modem.accepted() >= parts), (lambda: modem.accepted() > 0)
            else:
                done, first = (lambda: modem.stored() == 0), (lambda: modem.stored() < len(pdus))
            started = time.monotonic()
            process = gateway.start(home)
            rss_mb = 0.0

            def finished():
                nonlocal rss_mb
                rss_mb = max(rss_mb, group_rss_mb(process.pid))
                return done()

            try:
                first_s, total_s = wait_until(finished, first, started)
            finally:
                usage = stop(process)
            # The gateway's own CPU time (with the children it reaped), not the simulator's.
            return {"total": total_s, "first": first_s,
                    "cpu": usage.ru_utime + usage.ru_stime, "rss_mb": rss_mb}
        finally:
            modem.stop()


def group_cpu_s(group):
    """User and system time of the processes of one process group so far, added up."""
    return group_sum(group, cpu_ticks) / os.sysconf("SC_CLK_TCK")


def wait_for(condition, deadline_s=120):
    """Polls every 2 ms; the seconds until `condition` held."""
    started = time.monotonic()
    while not condition():
        if time.monotonic() - started > deadline_s:
            raise TimeoutError("no answer in time")
        time.sleep(0.002)
    return time.monotonic() - started


def in_service(gateway, args):
    """Latencies while in service, then idle CPU and peak RSS."""
    with tempfile.TemporaryDirectory(prefix="telvane-peers-") as scratch:
        scratch = pathlib.Path(scratch)
        home = scratch / "home"
        home.mkdir()
        modem = Modem(str(args.build / "simulator/telvane-modem"), scratch, args.baud,
                      args.network_delay)
        pdu = deliver_pdus(1)[0]
        try:
            gateway.prepare(home, modem, args.baud, period=60)
            process = gateway.start(home, once=False)
            try:
                gateway.wait_in_service(home)
                gateway.drop(home, 0, "warm-up")
                wait_for(lambda: modem.accepted() >= 1)
                base = modem.accepted()
                to_modem, stored = [], []
                for i in range(1, args.samples + 1):
                    time.sleep(1)  # not behind the previous sample's work
                    gateway.drop(home, i, f"Order {i:03d} is ready.")
                    to_modem.append(wait_for(lambda: modem.accepted() >= base + i))
                    time.sleep(1)
                    with socket.socket(socket.AF_UNIX) as control:
                        control.connect(modem.link + ".ctl")
                        control.sendall(f"deliver me {pdu}\n".encode())
                        control.makefile().readline()
                    stored.append(wait_for(lambda: modem.stored() == 0))
            finally:
                stop(process)
            if isinstance(gateway, Telvane):
                gateway.prepare(home, modem, args.baud, period=1)
            process = gateway.start(home, once=False)
            try:
                gateway.wait_in_service(home)
                time.sleep(3)  # settled
                before = group_cpu_s(process.pid)
                time.sleep(args.idle)
                idle_cpu = group_cpu_s(process.pid) - before
                rss_mb = group_rss_mb(process.pid)
            finally:
                stop(process)
            return statistics.median(to_modem), statistics.median(stored), idle_cpu, rss_mb
        finally:
            modem.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=pathlib.Path, default=pathlib.Path("build"))
    parser.add_argument("--runs", type=int, default=3, help="0: only the in-service figures")
    parser.add_argument("--baud", type=int, default=115200)
    parser.add_argument("--network-delay", default="0",
                        help="MS[,KEPT]: milliseconds each submission takes on the network "
                             "(KEPT: on a radio link that AT+CMMS kept up)")
    parser.add_argument("--messages", type=int, default=60)
    parser.add_argument("--only", default="telvane,telvane-fast,gammu-smsd,smstools")
    parser.add_argument("--samples", type=int, default=5,
                        help="files dropped and messages stored while in service (0: skip)")
    parser.add_argument("--idle", type=int, default=120, help="seconds of idle CPU time")
    args = parser.parse_args()
    args.build = args.build.resolve()
    sys.stdout.reconfigure(line_buffering=True)

    chosen = args.only.split(",")
    gateways = [g for g in (Telvane(args.build), Telvane(args.build, "fast"), GammuSmsd(),
                                  Smstools()) if g.name in chosen]
    print(f"{args.messages} messages, {args.baud} baud, network delay {args.network_delay} ms, "
          f"median of {args.runs} runs")
    print(f"{'workload':9} {'gateway':12} {'total s':>8} {'s/msg':>7} {'first s':>8} "
          f"{'CPU s':>6} {'RSS MB':>7} {'× telvane':>9}")
    for workload in ("send", "receive") if args.runs > 0 else ():
        telvane_total = None
        for gateway in gateways:
            if not gateway.available():
                print(f"{workload:9} {gateway.name:12} not installed, skipped")
                continue
            try:
                results = [run_once(gateway, workload, args) for _ in range(args.runs)]
            except TimeoutError as error:
                print(f"{workload:9} {gateway.name:12} {error}")
                continue
            median = {key: statistics.median(r[key] for r in results) for key in results[0]}
            if gateway.name == "telvane":
                telvane_total = median["total"]
            ratio = f"{median['total'] / telvane_total:9.2f}" if telvane_total else f"{'-':>9}"
            print(f"{workload:9} {gateway.name:12} {median['total']:8.1f} "
                  f"{median['total'] / args.messages:7.2f} {median['first']:8.1f} "
                  f"{median['cpu']:6.2f} {median['rss_mb']:7.1f} {ratio}", flush=True)

    if args.samples <= 0:
        return
    print(f"\nin service: median of {args.samples}; idle: {args.idle} s")
    print(f"{'gateway':12} {'file→PDU s':>10} {'stored→deleted s':>16} {'idle CPU s':>10} "
          f"{'RSS MB':>7}")
    for gateway in gateways:
        if not gateway.available():
            continue
        try:
            to_modem, stored, idle_cpu, rss_mb = in_service(gateway, args)
        except TimeoutError as error:
            print(f"{gateway.name:12} {error}")
            continue
        print(f"{gateway.name:12} {to_modem:10.3f} {stored:16.3f} {idle_cpu:10.2f} {rss_mb:7.1f}",
              flush=True)


if __name__ == "__main__":
    main()