#!/usr/bin/python3
"""Makes old-home/: the files an older Telvane (before the store) left in its home folder, for
the upgrade test. Run once with that version's binaries; the files are kept as they came.

  make-old-home.py OLD_TELVANED OLD_TELVANE_MODEM OUT

Sequence: two messages wait on the SIM (stored: inbox.index, received.journal); the webhook
receiver is down (webhook.queue); Report=1 and Sent (a.txt goes to Sent and waits for its report:
reports.journal); 0-stuck.txt cannot be deleted (chattr +i: a "confirmed" entry of
SendJournal.txt); broken.txt has no separator (a "reported" entry); long.txt goes in three
parts and the network is lost after the first (a "partial" entry); then a second run with a
SIM that asks for a PIN the settings have wrong (RefusedPin.txt)."""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

INCOMING = [
    "07919730071111F1040B919761214365F70000423051011200210EC8329BFD0699E5EF36689A6C02",
    "07919730071111F1040B919761214365F700084230510102032118041F04400438043204350442002C0020043C043804400021",
]


def control(link, request):
    with socket.socket(socket.AF_UNIX) as s:
        s.connect(link + ".ctl")
        s.sendall(request.encode() + b"\n")
        return s.recv(200).decode()


def wait(what, probe, seconds=60):
    end = time.monotonic() + seconds
    while not probe():
        if time.monotonic() > end:
            sys.exit("timed out waiting for " + what)
        time.sleep(0.05)


def main(telvaned, modem_binary, out):
    work = tempfile.mkdtemp(prefix="old-home-")
    home, link, sent = os.path.join(work, "home"), os.path.join(work, "modem"), os.path.join(work, "sent")
    os.makedirs(os.path.join(home, "Send"))
    with open(os.path.join(work, "sm.txt"), "w") as sm:
        sm.write("\n".join(INCOMING) + "\n")
    modem = subprocess.Popen([modem_binary, "--link", link, "--sm", os.path.join(work, "sm.txt"),
                              "--sent", sent, "--report-delay", "600000",
                              "--fault", "slow-cmgs=1500"])
    wait("the modem", lambda: os.path.exists(link + ".ctl"))
    with open(os.path.join(home, "Telvane.ini"), "wb") as ini:
        ini.write(("[Options]\r\nComPort=%s\r\nPeriod=1\r\nPacing=fast\r\n[Folders]\r\nSent=Sent\r\n"
                   "[SMS]\r\nReport=1\r\n[Http]\r\nWebhook=http://127.0.0.1:9/hook\r\n" % link).encode())
    files = {"0-stuck.txt": "+12345678901\tstuck", "a.txt": "+12345678901\tHello",
             "broken.txt": "no separator here", "long.txt": "+12345678901\t" + "x" * 400}
    for name, text in files.items():
        path = os.path.join(home, "Send", name)
        with open(path, "w") as f:
            f.write(text)
        os.utime(path, (time.time() - 60, time.time() - 60))
    subprocess.run(["chattr", "+i", os.path.join(home, "Send", "0-stuck.txt")], check=True)
    service = subprocess.Popen([telvaned, "--home", home])
    count = lambda: len(open(sent).read().split()) if os.path.exists(sent) else 0
    wait("the first part of long.txt", lambda: count() >= 3)  # 0-stuck, a, long part 1
    control(link, "network searching")
    wait("long.txt failed part-way", lambda: "partial" in open(os.path.join(home, "SendJournal.txt")).read())
    service.terminate()
    service.wait(60)
    modem.terminate()
    modem.wait(30)
    subprocess.run(["chattr", "-i", os.path.join(home, "Send", "0-stuck.txt")], check=True)

    # A SIM that asks for its PIN, and a wrong one in the settings.
    modem = subprocess.Popen([modem_binary, "--link", link, "--pin", "1234"])
    wait("the modem", lambda: os.path.exists(link + ".ctl"))
    with open(os.path.join(home, "Telvane.ini"), "ab") as ini:
        ini.write(b"[Options]\r\nPIN=9999\r\n")
    subprocess.run([telvaned, "--home", home, "--once"])
    modem.terminate()
    modem.wait(30)

    shutil.rmtree(out, ignore_errors=True)
    for name in ("SendJournal.txt", "received.journal", "inbox.index", "webhook.queue",
                 "reports.journal", "RefusedPin.txt"):
        os.makedirs(out, exist_ok=True)
        shutil.copy(os.path.join(home, name), os.path.join(out, name))
    for folder in ("Send", "Sent", "Receive"):
        shutil.copytree(os.path.join(home, folder), os.path.join(out, folder))
    with open(os.path.join(out, "home-path"), "w") as f:
        f.write(home + "\n")
    print(out)


if __name__ == "__main__":
    main(*sys.argv[1:])
