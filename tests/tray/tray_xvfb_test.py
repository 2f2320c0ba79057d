#!/usr/bin/python3
"""The tray application on a virtual X server with a real tray host (trayer).

Starts Xvfb on a free display, trayer, then telvane, and checks from outside, as a user would
see it: the icon is embedded in the tray, a right click opens the menu "Меню", a left
double-click shows its message box, a second instance warns and exits non-zero, and "Выход"
ends the program. Every wait is on a condition with a deadline.

Usage: tray_xvfb_test.py TELVANE_BINARY. Exit 77 (skipped) when Xvfb, trayer, xdotool or
xwininfo is missing.
"""

import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
TOOLS = ("Xvfb", "trayer", "xdotool", "xwininfo")
DEADLINE_S = 20.0


class Failure(Exception):
    pass


def wait_for(what, probe, timeout=DEADLINE_S):
    """Returns the first truthy result of probe(), asked again until the deadline."""
    end = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > end:
            raise Failure(f"timed out waiting for {what}")
        # Give the X server and the program a moment between two looks.
        select.select([], [], [], 0.05)


def run(env, *args):
    done = subprocess.run(args, env=env, capture_output=True, text=True)
    return done.stdout if done.returncode == 0 else ""


def read_display_number(read_end):
    """The number Xvfb writes once it accepts clients. It writes the digits and the line end
    separately: the pipe stays open until the line end is in, or the server's second write
    fails and ends it."""
    data = b""
    end = time.monotonic() + DEADLINE_S
    while not data.endswith(b"\n"):
        ready, _, _ = select.select([read_end], [], [], max(0.0, end - time.monotonic()))
        chunk = os.read(read_end, 64) if ready else b""
        if not chunk:
            break
        data += chunk
    return data.decode().strip()


def start_xvfb():
    """Xvfb on a free display, named explicitly so that two tests starting at once never
    search the same numbers; -noreset keeps one server for the whole test."""
    first = 100 + os.getpid() % 400
    for number in range(first, first + 50):
        if os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}"):
            continue
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", f":{number}", "-displayfd", str(write_end), "-screen", "0", "800x600x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        reported = read_display_number(read_end)
        os.close(read_end)
        if reported == str(number) and xvfb.poll() is None:
            return xvfb, f":{number}"
        # Taken by a server that started meanwhile: try the next number.
        if xvfb.poll() is None:
            xvfb.kill()
        xvfb.wait()
    raise Failure("no free display for Xvfb")


def windows(env, *search):
    return run(env, "xdotool", "search", *search).split()


def tray_panel(env):
    found = windows(env, "--classname", "^panel$")
    return found[0] if found else None


def icon_in_tray(env, panel):
    """The telvane window embedded somewhere below the tray host's panel window."""
    tree = run(env, "xwininfo", "-tree", "-id", panel)
    match = re.search(r'^\s*(0x[0-9a-f]+) .*\("telvane" "Telvane"\)', tree, re.MULTILINE)
    return match.group(1) if match else None


def visible_named(env, title):
    return windows(env, "--onlyvisible", "--name", f"^{re.escape(title)}$")


def geometry(env, window):
    out = run(env, "xdotool", "getwindowgeometry", "--shell", window)
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return {k: int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT")}


def press_return(env, window):
    subprocess.run(["xdotool", "windowfocus", "--sync", window], env=env, check=False)
    subprocess.run(["xdotool", "key", "Return"], env=env, check=True)


def choose(env, icon, item):
    """Opens the menu with a right click on the icon and clicks its item `item` (0 to 3)."""
    subprocess.run(["xdotool", "mousemove", "--window", icon, "8", "8", "click", "3"],
                   env=env, check=True)
    menu = wait_for("the popup menu", lambda: visible_named(env, "Меню"))[0]
    g = geometry(env, menu)
    print(f"menu opened at {g}")
    y = g["Y"] + g["HEIGHT"] * (2 * item + 1) // 8
    subprocess.run(["xdotool", "mousemove", str(g["X"] + g["WIDTH"] // 2), str(y), "click", "1"],
                   env=env, check=True)
    wait_for("the menu to close", lambda: menu not in visible_named(env, "Меню"))


def exit_code(process, what):
    def finished():
        return process.poll() is not None
    wait_for(what, finished)
    return process.returncode


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    binary = sys.argv[1]
    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    if missing:
        print("skipped: missing " + ", ".join(missing))
        return SKIP

    started = []
    home = tempfile.TemporaryDirectory(prefix="telvane-tray-")
    try:
        xvfb, display = start_xvfb()
        started.append(xvfb)
        env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb")
        env.pop("WAYLAND_DISPLAY", None)
        started.append(subprocess.Popen(
            ["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
             "120", "--heighttype", "pixel", "--height", "32", "--transparent", "false"],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        panel = wait_for("the tray host's panel", lambda: tray_panel(env))

        # A port that cannot exist, so that Start fails at once with its message box.
        with open(os.path.join(home.name, "Telvane.ini"), "wb") as ini:
            ini.write(b"[Options]\r\nComPort=/nonexistent/telvane-tty\r\n")
        command = [binary, "--home", home.name]
        app = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        started.append(app)
        icon = wait_for("the icon in the tray", lambda: icon_in_tray(env, panel))
        print(f"icon {icon} embedded in the tray panel {panel}")

        # A second instance on the same home warns and ends with a non-zero status.
        second = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        started.append(second)
        warning = wait_for("the second instance's warning",
                           lambda: visible_named(env, "Предупреждение"))[0]
        press_return(env, warning)
        code = exit_code(second, "the second instance to end")
        if code == 0:
            raise Failure("the second instance ended with status 0")
        print(f"second instance warned and ended with status {code}")

        # A left double-click shows the plain message box.
        subprocess.run(["xdotool", "mousemove", "--window", icon, "8", "8", "click", "--repeat",
                        "2", "--delay", "80", "1"], env=env, check=True)
        box = wait_for("the double-click message box",
                       lambda: [w for w in visible_named(env, "Telvane")
                                if int(w) != int(icon, 16)])[0]
        press_return(env, box)
        wait_for("the message box to close", lambda: box not in visible_named(env, "Telvane"))
        print("left double-click showed its message box")

        # A right click opens the menu of four items; "Старт" fails on the missing port.
        choose(env, icon, 0)
        failure = wait_for("the start failure box",
                           lambda: visible_named(env, "Ошибка соединения"))[0]
        press_return(env, failure)
        wait_for("the start failure box to close",
                 lambda: failure not in visible_named(env, "Ошибка соединения"))
        print("Старт on a missing port showed its failure box")

        choose(env, icon, 2)
        code = exit_code(app, "the application to end after Выход")
        if code != 0:
            raise Failure(f"the application ended with status {code}: "
                          + app.stderr.read().decode(errors="replace"))
        wait_for("the icon to leave the tray", lambda: not icon_in_tray(env, panel))
        print("Выход ended the application")
        return 0
    except Failure as failure:
        print(f"FAILED: {failure}")
        return 1
    finally:
        for process in reversed(started):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
        home.cleanup()


if __name__ == "__main__":
    sys.exit(main())
