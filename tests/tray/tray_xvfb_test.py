#!/usr/bin/python3
"""The tray application under Xvfb with a tray host and the simulated modem, used as a user
would: the icon, a second instance, a double-click, a fresh Options dialog with its chooser
cancelled, Start on a refused speed (one box at a time), Start again (a message in and one out,
a notification), and "Выход" with Period=1, where a poll always runs.

Usage: tray_xvfb_test.py [--pictures DIR] TELVANE TELVANE_MODEM (DIR: the README's pictures).
Exit 77 (skipped) when a tool is missing."""

import os
import subprocess
import sys
import tempfile

from xdesktop import Desktop, Failure, missing_tools, wait_for

# An SMS-DELIVER on the SIM: "Hello from SIM" from +79161234567.
INCOMING = "07919730071111F1040B919761214365F70000423051011200210EC8329BFD0699E5EF36689A6C02"


def read(path):
    return open(path, "rb").read() if os.path.exists(path) else b""


def edit(path, old, new):
    text = read(path)
    assert old in text, f"{old!r} not in {path}"
    open(path, "wb").write(text.replace(old, new, 1))


def walk(desk, telvane, modem, work, pictures):
    def picture(name, **where):
        if pictures:
            desk.picture(os.path.join(pictures, name), **where)

    def beside_tray(window):  # the screen's top right corner down to below `window`
        x, y, _, height = desk.geometry(window)
        left = max(0, min(x, desk.geometry(desk.panel)[0]) - 16)
        return left, 0, desk.width - left, y + height + 16

    def ended(process, what):
        return wait_for(what, lambda: process.poll() is not None) and process.returncode

    def menu_item(item):
        desk.choose(desk.popup(icon, "Меню"), "Меню", item, 4)

    link, home, sent = (os.path.join(work, name) for name in ("modem", "home", "sent.txt"))
    open(os.path.join(work, "sm.txt"), "w").write(INCOMING + "\n")
    desk.start([modem, "--link", link, "--sm", os.path.join(work, "sm.txt"), "--sent", sent],
               stdout=subprocess.DEVNULL)
    wait_for("the simulated modem", lambda: os.path.exists(link))
    os.makedirs(os.path.join(home, "Send"))
    ini, log = os.path.join(home, "Telvane.ini"), os.path.join(work, "telvane.log")
    # The standard pacing's polls take seconds, so that "Выход" comes during one.
    open(ini, "wb").write(b"[Options]\r\nComPort=%s\r\nPeriod=1\r\nPacing=standard\r\nNotify=1\r\n"
                          % link.encode())
    app = desk.start([telvane, "--home", home], stderr=open(log, "w"), cwd=work)
    icon = wait_for("the icon in the tray", lambda: desk.tray_icon("telvane"))
    not_icon = [str(int(icon, 16))]

    second = desk.start([telvane, "--home", home], stderr=subprocess.DEVNULL)
    desk.answer("Предупреждение")
    assert (code := ended(second, "the second instance")) == 3, f"second instance: {code}"
    desk.run("xdotool", "mousemove", "--window", icon, "8", "8",
             "click", "--repeat", "2", "--delay", "80", "1")
    desk.answer("Telvane", exclude=not_icon)
    print("icon in the tray; a second instance refused; a double-click answered")

    menu = desk.popup(icon, "Меню")
    picture("tray-menu.png", crop=beside_tray(menu))
    desk.choose(menu, "Меню", 1, 4)
    options = desk.window("Настройки")
    picture("options.png", window=options)
    desk.keys(options, *["shift+Tab"] * 5, "space")  # back from "ОК" to the first "..."
    picture("folder-chooser.png", window=desk.window("Выберите папку"))
    desk.answer("Выберите папку", key="Escape")
    desk.answer("Настройки")
    assert not desk.visible("Ошибка"), "a cancelled folder choice was called wrong"
    assert b"SMSC" not in read(ini), "OK stored the example SMS centre"

    edit(ini, b"[Options]\r\n", b"[Options]\r\nComPortSpeed=abc\r\n")
    menu_item(0)
    desk.window("Telvane", exclude=not_icon)
    assert not desk.visible("Ошибка соединения"), "two boxes at once"
    desk.answer("Telvane", exclude=not_icon)
    desk.answer("Ошибка соединения")
    print("Options: the chooser cancelled quietly, OK kept the examples out of the file; "
          "a refused speed: the port's words, then the general box")

    edit(ini, b"ComPortSpeed=abc\r\n", b"")
    edit(ini, b"[SMS]\r\n", b"[SMS]\r\nSMSC=79xxxxxxxxx\r\n")
    outgoing = os.path.join(home, "Send", "hello.txt")
    open(outgoing, "wb").write("+79161234567\tПривет".encode("cp1251"))
    menu_item(0)
    wait_for("the message to go out", lambda: not os.path.exists(outgoing) and read(sent))
    wait_for("both notifications", lambda: all(
        text.encode() in read(log) for text in ("Принято сообщений: 1", "Отправлено: 1")))

    def balloons():  # Qt's own notification, where the desktop has no notification service
        return [w for w in desk.search("--classname", "^telvane$")
                if "TOOLTIP" in desk.run("xprop", "-id", w, "_NET_WM_WINDOW_TYPE")]

    picture("notification.png", crop=beside_tray(wait_for("a notification", balloons)[0]))
    while shown := balloons():
        desk.run("xdotool", "mousemove", "--window", shown[0], "4", "4", "click", "1")
        wait_for("the notification to close", lambda: shown[0] not in balloons())
    smsc_lines = read(os.path.join(home, "Logs", "Log.txt")).count(b"SMSC")

    menu_item(2)
    assert (code := ended(app, "the program to end after Выход")) == 0, f"status {code}"
    wait_for("the icon to leave the tray", lambda: not desk.tray_icon("telvane"))
    assert smsc_lines == 1, f"{smsc_lines} Log.txt lines about the SMS centre, not 1"
    print("a message in and one out (the phone's SMS centre), a notification of both; "
          "Выход with Period=1 ended the program after the poll")


def main(args):
    pictures = args[1] if args[:1] == ["--pictures"] else None
    args = args[2:] if pictures else args
    if len(args) != 2:
        return __doc__
    if missing := missing_tools(("xprop",) + (("import", "convert") if pictures else ())):
        print("skipped: missing " + ", ".join(missing))
        return 77
    with tempfile.TemporaryDirectory(prefix="telvane-tray-") as work:
        desk = None
        try:
            desk = Desktop()
            walk(desk, *args, work, pictures)
            return 0
        except (Failure, AssertionError) as failure:
            print(f"FAILED: {failure}\n" + read(os.path.join(work, "telvane.log")).decode())
            return 1
        finally:
            if desk:
                desk.close()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
