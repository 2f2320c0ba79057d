#!/usr/bin/python3
"""telvaned with several simulated modems: throughput, idle cost, and smstools beside it.

    bench/pool/pool_bench.py [--build build] [--telvaned PATH] [--modem PATH]
                             [--modems 1,2,4,8,16,64] [--per-modem 20] [--max-messages 1280]
                             [--network-delay 1000] [--idle 60] [--idle-modems 64]
                             [--smstools-modems 1,4,16] [--only send,idle,smstools]

One telvane-modem process per modem, each with its own folder and link, every submission
taking --network-delay ms on the network. "send": --per-modem single-part messages a modem
(at most --max-messages) are dropped as files, then the gateway starts (telvaned with
Pacing=fast and Period=2; smsd with one device a modem, all on one spool, in the foreground
with its own configuration in a temporary folder, skipped when not installed). Printed: the
seconds from the start to the first PDU any modem accepted and from it to the last; messages
a minute, (messages - modems that sent) / (first to last) (each modem's first PDU ends before
the window opens); the speed-up against one modem; the gateway's CPU time, in all and per
modem, and peak RSS; and whether every message reached the modems exactly once (the PDUs of
all --sent files decoded, each text different). "idle": telvaned with Period=10 and nothing
to send, once every modem is in service and --warm-up seconds have passed: its CPU over
--idle seconds as a share of one core, and its peak RSS. Targets are printed beside the
figures; nothing fails on them.
"""
import argparse
import collections
import datetime
import pathlib
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "peers"))
import compare  # noqa: E402  the simulated modem and the process figures, shared with it
import gammu  # noqa: E402  (compare.py has made sure it is there)

IN_SERVICE = "Пауза перед опросом телефона"


def texts(count):
    """Single-part and all different, so that each PDU names its message."""
    return [f"Order {i:04d} from the pool is ready for pickup." for i in range(count)]


def wait(condition, deadline_s, step_s=0.5):
    """Polls `condition` until it holds or the deadline passes; whether it held."""
    end = time.monotonic() + deadline_s
    while not condition():
        if time.monotonic() > end:
            return False
        time.sleep(step_s)
    return True


class Pool:
    """Simulated modems, one process and folder each; stopped on leaving, whatever happened."""

    def __init__(self, binary, scratch, count, args):
        self.modems = []
        try:
            for n in range(1, count + 1):
                folder = scratch / f"modem{n:02d}"
                folder.mkdir()
                self.modems.append(compare.Modem(binary, folder, args.baud, args.network_delay))
        except BaseException:
            self.stop()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()

    def stop(self):
        for modem in self.modems:
            modem.stop()
        self.modems = []

    def accepted(self):
        return sum(modem.accepted() for modem in self.modems)

    def delivery(self, expected):
        """How the accepted PDUs cover the messages: "N once" or what went wrong."""
        per_modem, seen = [], collections.Counter()
        for modem in self.modems:
            pdus = modem.sent.read_text().split() if modem.sent.exists() else []
            per_modem.append(len(pdus))
            seen.update(gammu.DecodePDU(bytes.fromhex(pdu))["Text"] for pdu in pdus)
        known = set(expected)
        once = sum(1 for text in expected if seen[text] == 1)
        twice = sum(1 for text in expected if seen[text] > 1)
        missing = sum(1 for text in expected if seen[text] == 0)
        foreign = sum(count for text, count in seen.items() if text not in known)
        verdict = f"{once} once" + "".join(
            f", {n} {what}" for n, what in ((twice, "twice or more"), (missing, "missing"),
                                            (foreign, "unknown")) if n)
        return verdict, sum(1 for n in per_modem if n), min(per_modem), max(per_modem)


class Telvane(compare.Telvane):
    """compare.py's, with a section a further modem and stderr kept."""

    def __init__(self, binary):
        super().__init__(binary.parent, "fast")
        self.binary = binary

    @staticmethod
    def names(count):
        """The first modem is [Options]; with sections it is called main."""
        return [""] if count == 1 else ["main"] + [f"m{n:02d}" for n in range(2, count + 1)]

    def prepare(self, home, pool, args, period):
        (home / "Send").mkdir()
        lines = ["[Options]", f"ComPort={pool.modems[0].link}", f"ComPortSpeed={args.baud}",
                 f"Period={period}", "Pacing=fast"]
        for name, modem in zip(self.names(len(pool.modems))[1:], pool.modems[1:]):
            lines += [f"[Modem {name}]", f"ComPort={modem.link}"]
        (home / "Telvane.ini").write_bytes(("\r\n".join(lines) + "\r\n").encode())

    def start(self, home):
        with open(home / "statuses.txt", "wb") as out, open(home / "stderr.txt", "wb") as err:
            return subprocess.Popen([str(self.binary), "--home", str(home)], stdout=out,
                                    stderr=err, start_new_session=True)

    def in_service(self, home, count):
        """How many modems have finished a poll (their status lines so far)."""
        lines = (home / "statuses.txt").read_text(errors="replace").splitlines()
        return sum(1 for name in self.names(count)
                   if any(line.endswith(f" {name}: {IN_SERVICE}" if name else f" {IN_SERVICE}")
                          for line in lines))

    def complaints(self, home):
        """stderr beyond the home folder's line, the same lines counted once."""
        lines = (home / "stderr.txt").read_text(errors="replace").splitlines()
        return collections.Counter(line for line in lines if not line.startswith("Home folder:"))


class Smstools(compare.Smstools):
    """compare.py's, with a device a modem on the one spool."""

    def prepare(self, home, pool, args, period):
        devices = [f"GSM{n}" for n in range(1, len(pool.modems) + 1)]
        for folder in ("outgoing", "checked", "incoming", "failed", "sent"):
            (home / folder).mkdir()
        config = (f"devices = {','.join(devices)}\noutgoing = {home}/outgoing\n"
                  f"checked = {home}/checked\nincoming = {home}/incoming\n"
                  f"failed = {home}/failed\nsent = {home}/sent\nlogfile = {home}/smsd.log\n"
                  f"loglevel = 4\ninfofile = {home}/smsd.running\npidfile = {home}/smsd.pid\n"
                  f"stats = {home}\nstats_interval = 0\n")
        for device, modem in zip(devices, pool.modems):
            config += f"[{device}]\ndevice = {modem.link}\nbaudrate = {args.baud}\nincoming = yes\n"
        (home / "smsd.conf").write_text(config)


def send_run(gateway, count, args):
    """One send workload through `count` modems; its figures."""
    messages = min(args.per_modem * count, args.max_messages)
    expected = texts(messages)
    with tempfile.TemporaryDirectory(prefix="telvane-pool-") as scratch:
        scratch = pathlib.Path(scratch)
        with Pool(str(args.modem), scratch, count, args) as pool:
            home = scratch / "home"
            home.mkdir()
            gateway.prepare(home, pool, args, period=2)
            for i, text in enumerate(expected):
                gateway.drop(home, i, text)
            started = time.monotonic()
            process = gateway.start(home)
            try:
                first_s, last_s = compare.wait_until(lambda: pool.accepted() >= messages,
                                                     lambda: pool.accepted() > 0, started)
                time.sleep(args.grace)  # a message sent twice has time to show
                rss_mb = compare.group_rss_mb(process.pid)
            finally:
                usage = compare.stop(process)
            delivery, sending, fewest, most = pool.delivery(expected)
            result = {"messages": messages, "first": first_s, "window": last_s - first_s,
                      "cpu": usage.ru_utime + usage.ru_stime, "rss": rss_mb,
                      "delivery": delivery, "spread": f"{sending}: {fewest}-{most}"}
            window = result["window"]
            result["rate"] = (messages - sending) / window * 60 if window > 0 else float("nan")
            if isinstance(gateway, Telvane):
                result["complaints"] = gateway.complaints(home)
                result["in_service"] = gateway.in_service(home, count)
            return result


def idle_run(telvane, count, args):
    """telvaned with nothing to send: seconds until all modems served, CPU share, RSS."""
    with tempfile.TemporaryDirectory(prefix="telvane-pool-") as scratch:
        scratch = pathlib.Path(scratch)
        with Pool(str(args.modem), scratch, count, args) as pool:
            home = scratch / "home"
            home.mkdir()
            telvane.prepare(home, pool, args, period=10)
            started = time.monotonic()
            process = telvane.start(home)
            try:
                wait(lambda: telvane.in_service(home, count) == count, args.deadline)
                in_service = telvane.in_service(home, count)
                service_s = time.monotonic() - started
                time.sleep(max(0.0, args.warm_up - service_s))
                before = compare.group_cpu_s(process.pid)
                time.sleep(args.idle)
                cpu_s = compare.group_cpu_s(process.pid) - before
                rss_mb = compare.group_rss_mb(process.pid)
            finally:
                compare.stop(process)
            return in_service, service_s, cpu_s, rss_mb, telvane.complaints(home)


def speed_target(count):
    """In proportion up to 16 modems (15 of 16), at least 50 times one modem at 64."""
    return count * 15 / 16 if count <= 16 else count * 50 / 64


def print_complaints(count, complaints):
    if complaints:
        total = sum(complaints.values())
        print(f"  {count} modems: telvaned wrote {total} lines to stderr, "
              f"{len(complaints)} different; the most frequent:")
        for line, times in complaints.most_common(3):
            print(f"    {times:5d}x {line[:150]}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=pathlib.Path, default=pathlib.Path("build"))
    parser.add_argument("--telvaned", type=pathlib.Path,
                        help="default: BUILD/apps/telvaned/telvaned")
    parser.add_argument("--modem", type=pathlib.Path,
                        help="default: BUILD/simulator/telvane-modem")
    parser.add_argument("--modems", default="1,2,4,8,16,64", help="modem counts of the send runs")
    parser.add_argument("--per-modem", type=int, default=20, help="messages a modem")
    parser.add_argument("--max-messages", type=int, default=1280, help="at most, in one run")
    parser.add_argument("--network-delay", default="1000", help="MS[,KEPT] a submission")
    parser.add_argument("--baud", type=int, default=115200)
    parser.add_argument("--grace", type=float, default=3.0,
                        help="seconds the gateway goes on after the last PDU")
    parser.add_argument("--idle-modems", type=int, default=64)
    parser.add_argument("--warm-up", type=float, default=20.0,
                        help="seconds from the start before idle CPU is measured")
    parser.add_argument("--idle", type=float, default=60.0, help="seconds of idle CPU")
    parser.add_argument("--smstools-modems", default="1,4,16")
    parser.add_argument("--only", default="send,idle,smstools")
    parser.add_argument("--deadline", type=int, default=300, help="seconds a run may take")
    args = parser.parse_args()
    build = args.build.resolve()
    args.telvaned = (args.telvaned or build / "apps/telvaned/telvaned").resolve()
    args.modem = (args.modem or build / "simulator/telvane-modem").resolve()
    compare.DEADLINE_S = args.deadline
    parts = args.only.split(",")
    sys.stdout.reconfigure(line_buffering=True)
    # Every process and folder is cleaned up on Ctrl-C and SIGTERM, even when started in the
    # background (where the shell has SIGINT ignored).
    signal.signal(signal.SIGINT, signal.default_int_handler)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    telvane = Telvane(args.telvaned)
    if not telvane.available() or not args.modem.exists():
        sys.exit(f"not found: {args.telvaned} or {args.modem} (--build, --telvaned, --modem)")
    print(f"{datetime.date.today()}, {args.network_delay} ms a submission, {args.baud} baud, "
          f"{args.per_modem} single-part messages a modem (at most {args.max_messages})")

    rates = {}
    if "send" in parts:
        print("\ntelvaned, Pacing=fast, Period=2")
        print(f"{'modems':>6} {'msgs':>5} {'first s':>7} {'window s':>8} {'msg/min':>8} "
              f"{'speed-up':>8} {'target':>7} {'CPU s':>6} {'/modem':>6} {'RSS MB':>6} "
              f"{'target':>6} {'served':>6}  sent (modems: fewest-most)")
        complaints = {}
        for count in (int(n) for n in args.modems.split(",")):
            try:
                r = send_run(telvane, count, args)
            except TimeoutError as error:
                print(f"{count:6d} {error}")
                continue
            rates[count] = r["rate"]
            speed_up = f"{r['rate'] / rates[1]:7.1f}x" if 1 in rates else f"{'-':>8}"
            print(f"{count:6d} {r['messages']:5d} {r['first']:7.1f} {r['window']:8.1f} "
                  f"{r['rate']:8.1f} {speed_up} {speed_target(count):6.1f}x {r['cpu']:6.2f} "
                  f"{r['cpu'] / count:6.3f} {r['rss']:6.1f} {20 + count:6d} "
                  f"{r['in_service']:6d}  {r['delivery']} ({r['spread']})")
            complaints[count] = r["complaints"]
        for count, lines in complaints.items():
            print_complaints(count, lines)

    if "idle" in parts:
        count = args.idle_modems
        in_service, service_s, cpu_s, rss_mb, complaints = idle_run(telvane, count, args)
        print(f"\nidle: telvaned, {count} modems, Period=10, nothing to send")
        rows = (("modems in service", f"{in_service} of {count}, {service_s:.1f} s after the start"),
                (f"CPU over {args.idle:.0f} s", f"{cpu_s:.2f} s = {100 * cpu_s / args.idle:.2f}% "
                                               "of one core (target under 2%)"),
                ("peak RSS (VmHWM)", f"{rss_mb:.1f} MB (target under {20 + count} MB)"))
        for label, figure in rows:
            print(f"  {label:22} {figure}")
        print_complaints(count, complaints)

    if "smstools" in parts:
        peer = Smstools()
        print("\nsmstools (smsd), one spool, a device a modem")
        if not peer.available():
            print("  not installed (apt-get install smstools), skipped")
            return
        print(f"{'modems':>6} {'msgs':>5} {'first s':>7} {'window s':>8} {'msg/min':>8} "
              f"{'x telvane':>9} {'CPU s':>6} {'RSS MB':>6}  sent (modems: fewest-most)")
        for count in (int(n) for n in args.smstools_modems.split(",")):
            try:
                r = send_run(peer, count, args)
            except TimeoutError as error:
                print(f"{count:6d} {error}")
                continue
            ratio = f"{r['rate'] / rates[count]:9.2f}" if count in rates else f"{'-':>9}"
            print(f"{count:6d} {r['messages']:5d} {r['first']:7.1f} {r['window']:8.1f} "
                  f"{r['rate']:8.1f} {ratio} {r['cpu']:6.2f} {r['rss']:6.1f}  "
                  f"{r['delivery']} ({r['spread']})")


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        sys.exit(130)  # everything was stopped and removed on the way out
