#!/usr/bin/python3
"""The tray application on a virtual X server with a real tray host (trayer), checked from
outside as a user would see it: the icon is embedded in the tray, a second instance warns and
exits non-zero, a left double-click shows its box, a right click opens the menu "Меню" whose
"Старт" fails on a missing port and whose "Выход" ends the program. Every wait is on a
condition with a deadline.

Usage: tray_xvfb_test.py TELVANE_BINARY. Exit 77 (skipped) when a tool is missing.
"""

import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

DEADLINE_S = 20.0


class Failure(Exception):
    pass


def wait_for(what, probe):
    """The first truthy result of probe(), asked again until the deadline."""
    end = time.monotonic() + DEADLINE_S
    while not (result := probe()):
        if time.monotonic() > end:
            raise Failure(f"timed out waiting for {what}")
        select.select([], [], [], 0.05)  # a moment for the X server between two looks
    return result


def start_xvfb():
    """Xvfb on a display named explicitly, so that two tests starting at once never search the
    same numbers. Xvfb writes the number it got once it accepts clients; it writes the digits and
    the line end separately, so read up to the line end."""
    first = 100 + os.getpid() % 400
    for number in range(first, first + 50):
        if os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}"):
            continue
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", f":{number}", "-displayfd", str(write_end), "-screen",
                                 "0", "800x600x24", "-nolisten", "tcp", "-noreset"],
                                pass_fds=(write_end,), stderr=subprocess.DEVNULL)
        os.close(write_end)
        data, end = b"", time.monotonic() + DEADLINE_S
        while not data.endswith(b"\n") and select.select([read_end], [], [],
                                                         max(0, end - time.monotonic()))[0]:
            if not (chunk := os.read(read_end, 64)):
                break
            data += chunk
        os.close(read_end)
        if data.strip() == str(number).encode() and xvfb.poll() is None:
            return xvfb, f":{number}"
        xvfb.kill()  # taken by a server that started meanwhile: try the next number
        xvfb.wait()
    raise Failure("no free display for Xvfb")


def main(binary):
    if missing := [t for t in ("Xvfb", "trayer", "xdotool", "xwininfo") if not shutil.which(t)]:
        print("skipped: missing " + ", ".join(missing))
        return 77
    started = []
    home = tempfile.TemporaryDirectory(prefix="telvane-tray-")
    try:
        xvfb, display = start_xvfb()
        started.append(xvfb)
        env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb")
        env.pop("WAYLAND_DISPLAY", None)

        def run(*args):
            done = subprocess.run(args, env=env, capture_output=True, text=True)
            return done.stdout if done.returncode == 0 else ""

        def visible(title):
            return run("xdotool", "search", "--onlyvisible", "--name", f"^{re.escape(title)}$"
                       ).split()

        def icon_in_tray():
            tree = run("xwininfo", "-tree", "-id", panel)
            found = re.search(r'^\s*(0x[0-9a-f]+) .*\("telvane" "Telvane"\)', tree, re.MULTILINE)
            return found and found.group(1)

        def answer(title, exclude=()):
            """Presses Return on the window titled `title` and waits until it is gone."""
            box = wait_for(f'"{title}"', lambda: [w for w in visible(title) if w not in exclude])[0]
            run("xdotool", "windowfocus", "--sync", box, "key", "Return")
            wait_for(f'"{title}" to close', lambda: box not in visible(title))

        def choose(item):
            """A right click on the icon, then a click on item `item` (0 to 3) of the menu."""
            run("xdotool", "mousemove", "--window", icon, "8", "8", "click", "3")
            menu = wait_for("the popup menu", lambda: visible("Меню"))[0]
            g = dict(line.split("=") for line in run("xdotool", "getwindowgeometry", "--shell",
                                                     menu).split())
            x = int(g["X"]) + int(g["WIDTH"]) // 2
            y = int(g["Y"]) + int(g["HEIGHT"]) * (2 * item + 1) // 8
            run("xdotool", "mousemove", str(x), str(y), "click", "1")
            wait_for("the menu to close", lambda: menu not in visible("Меню"))

        def exit_code(process, what):
            wait_for(what, lambda: process.poll() is not None)
            return process.returncode

        started.append(subprocess.Popen(
            ["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
             "120", "--heighttype", "pixel", "--height", "32", "--transparent", "false"],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        panel = wait_for("the tray host's panel",
                         lambda: run("xdotool", "search", "--classname", "^panel$").split())[0]
        # A port that cannot exist, so that Start fails at once with its message box.
        with open(os.path.join(home.name, "Telvane.ini"), "wb") as ini:
            ini.write(b"[Options]\r\nComPort=/nonexistent/telvane-tty\r\n")
        command = [binary, "--home", home.name]
        app = subprocess.Popen(command, env=env, stderr=subprocess.PIPE)
        started.append(app)
        icon = wait_for("the icon in the tray", icon_in_tray)
        print(f"icon {icon} embedded in the tray panel {panel}")

        second = subprocess.Popen(command, env=env, stderr=subprocess.DEVNULL)
        started.append(second)
        answer("Предупреждение")
        if (code := exit_code(second, "the second instance to end")) == 0:
            raise Failure("the second instance ended with status 0")
        print(f"second instance warned and ended with status {code}")

        run("xdotool", "mousemove", "--window", icon, "8", "8",
            "click", "--repeat", "2", "--delay", "80", "1")
        answer("Telvane", exclude=[str(int(icon, 16))])
        print("left double-click showed its message box")

        choose(0)
        answer("Ошибка соединения")
        print("Старт on a missing port showed its failure box")

        choose(2)
        if (code := exit_code(app, "the application to end after Выход")) != 0:
            raise Failure(f"ended with status {code}: {app.stderr.read().decode(errors='replace')}")
        wait_for("the icon to leave the tray", lambda: not icon_in_tray())
        print("Выход ended the application")
        return 0
    except Failure as failure:
        print(f"FAILED: {failure}")
        return 1
    finally:
        for process in reversed(started):
            process.terminate()
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
        home.cleanup()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]) if len(sys.argv) == 2 else __doc__)
