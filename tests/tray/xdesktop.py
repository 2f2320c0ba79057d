"""A virtual desktop for the tray application (Xvfb on a display of its own, a tray host) and
what a user does there. Every wait is on a condition with a deadline."""

import os
import re
import select
import shutil
import subprocess
import time


class Failure(Exception):
    pass


def wait_for(what, probe, deadline_s=30.0):
    """The first truthy result of probe(), asked again until the deadline."""
    end = time.monotonic() + deadline_s
    while not (result := probe()):
        if time.monotonic() > end:
            raise Failure(f"timed out waiting for {what}")
        select.select([], [], [], 0.05)  # a moment for the X server between two looks
    return result


def missing_tools(extra=()):
    return [t for t in ("Xvfb", "trayer", "xdotool", "xwininfo", *extra) if not shutil.which(t)]


class Desktop:
    """Xvfb and trayer; close() ends every process started here."""

    def __init__(self, width=800, height=600):
        self.width, self.height, self.processes = width, height, []
        self.env = dict(os.environ, DISPLAY=self._start_xvfb(), QT_QPA_PLATFORM="xcb")
        self.env.pop("WAYLAND_DISPLAY", None)
        if shutil.which("xsetroot"):
            self.run("xsetroot", "-solid", "#3b5a78")
        self.start(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                    "--width", "120", "--heighttype", "pixel", "--height", "32",
                    "--transparent", "false"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
        self.panel = wait_for("the tray host", lambda: self.search("--classname", "^panel$"))[0]

    def _start_xvfb(self):
        # Xvfb picks a free display itself (its lock files keep two servers apart) and writes
        # its number on a line once it takes clients.
        read_end, write_end = os.pipe()
        self.processes.append(subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
             f"{self.width}x{self.height}x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stderr=subprocess.DEVNULL))
        os.close(write_end)
        with os.fdopen(read_end) as numbers:
            if not (select.select([numbers], [], [], 30)[0] and
                    (number := numbers.readline().strip()).isdigit()):
                raise Failure("Xvfb did not start")
        return ":" + number

    def start(self, command, **options):
        self.processes.append(subprocess.Popen(command, env=self.env, **options))
        return self.processes[-1]

    def run(self, *args):
        done = subprocess.run(args, env=self.env, capture_output=True, text=True)
        return done.stdout if done.returncode == 0 else ""

    def close(self):
        for process in reversed(self.processes):
            process.terminate()
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()

    def search(self, *criteria):
        return self.run("xdotool", "search", "--onlyvisible", *criteria).split()

    def visible(self, title):
        return self.search("--name", f"^{re.escape(title)}$")

    def window(self, title, exclude=()):
        return wait_for(f'"{title}"', lambda: [w for w in self.visible(title)
                                               if w not in exclude])[0]

    def geometry(self, window):  # x, y, width, height
        g = dict(line.split("=") for line in
                 self.run("xdotool", "getwindowgeometry", "--shell", window).split())
        return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])

    def tray_icon(self, class_name):  # the window of the icon in the tray, or None
        found = re.search(rf'^\s*(0x[0-9a-f]+) .*\("{class_name}" "[^"]*"\)',
                          self.run("xwininfo", "-tree", "-id", self.panel), re.MULTILINE)
        return found and found.group(1)

    def keys(self, window, *keys):
        self.run("xdotool", "windowfocus", "--sync", window, "key", "--delay", "30", *keys)

    def answer(self, title, exclude=(), key="Return"):
        """Presses `key` on the window titled `title` and waits until it is gone."""
        box = self.window(title, exclude)
        self.keys(box, key)
        wait_for(f'"{title}" to close', lambda: box not in self.visible(title))

    def popup(self, icon, title):  # a right click at the icon's lower left: the menu beside it
        self.run("xdotool", "mousemove", "--window", icon, "1",
                 str(self.geometry(icon)[3] - 2), "click", "3")
        return self.window(title)

    def choose(self, menu, title, item, items):  # a click on entry `item` of `items`
        x, y, width, height = self.geometry(menu)
        self.run("xdotool", "mousemove", str(x + width // 2),
                 str(y + height * (2 * item + 1) // (2 * items)), "click", "1")
        wait_for("the menu to close", lambda: menu not in self.visible(title))

    def picture(self, path, window="root", crop=None):
        """A PNG of a window, or of the screen cut to crop = (x, y, width, height)."""
        self.run("import", "-window", window, path)
        if crop:
            self.run("convert", path, "-crop", "{2}x{3}+{0}+{1}".format(*crop), "+repage", path)
