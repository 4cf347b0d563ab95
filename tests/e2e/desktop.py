"""The desktop driver of the journey, the soak and the bench: an Xvfb
display with a person's hands (xdotool) and eyes (import, convert), and the
stand-in service with its request log and fault control. Both are started
the one way the project starts them, by scripts/start-xvfb and
scripts/start-standin.
"""

import os
import re
import subprocess
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRIPTS = os.path.join(ROOT, "scripts")
# The prefix scripts/winerun uses.
WINE_PREFIX = os.environ.get("WINEPREFIX", os.path.join(
    os.environ.get("TVCLIENT_BUILD_DIR", os.path.join(ROOT, "build", "wine")), "prefix"))


class StepFailed(Exception):
    pass


def check(condition, what):
    """A step of a journey through the program: raises StepFailed unless it held."""
    if not condition:
        raise StepFailed(what)


def check_and_say(condition, what):
    """check, and a line "ok: what" once it held (the install tests' log)."""
    check(condition, what)
    print("ok: " + what, flush=True)


class Desktop:
    """An Xvfb display with the person's hands (xdotool) and eyes (import)."""

    def __init__(self):
        # A Wine server left from an earlier run would hold another display.
        subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=dict(os.environ, WINEPREFIX=WINE_PREFIX),
                       stderr=subprocess.DEVNULL)
        started = subprocess.run([os.path.join(SCRIPTS, "start-xvfb")], stdout=subprocess.PIPE,
                                 check=True).stdout.decode().split()
        self.display, self.xvfb_pid = started[0], int(started[1])
        self.env = dict(os.environ, DISPLAY=self.display)

    def close(self):
        """Ends Wine's server, which holds the display, and then the display."""
        subprocess.run([os.path.join(SCRIPTS, "start-xvfb"), "--stop", str(self.xvfb_pid)])

    def tool(self, *args):
        result = subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        return result.stdout.decode("utf-8", "replace").strip()

    def key(self, *keys):
        for k in keys:
            self.tool("key", "--delay", "60", k)
            time.sleep(0.25)

    def type(self, text):
        self.tool("type", "--delay", "60", text)

    def move(self, x, y):
        self.tool("mousemove", x, y)

    def click(self, x, y, button=1, repeat=1):
        self.tool("mousemove", x, y)
        time.sleep(0.1)
        self.tool("click", "--repeat", repeat, "--delay", "120", button)

    def windows(self):
        """Visible top-level windows: {id: name}."""
        found = {}
        for wid in self.tool("search", "--onlyvisible", "--name", "").split():
            found[wid] = self.tool("getwindowname", wid)
        return found

    def find(self, name, timeout=10.0):
        until = time.time() + timeout
        while time.time() < until:
            for wid, title in self.windows().items():
                if title == name:
                    return wid
            time.sleep(0.2)
        return None

    def gone(self, name, timeout=10.0):
        until = time.time() + timeout
        while time.time() < until:
            if name not in self.windows().values():
                return True
            time.sleep(0.2)
        return False

    def log_in_and_play(self, service, user, password):
        """At the program's login dialog: logs in, clicks the video window
        and presses Right, as a person would. None once the stand-in has
        opened the stream, else the first thing that did not come."""
        if self.find("Login", 120) is None:
            return "the login dialog"
        time.sleep(0.5)
        self.type(user)
        self.key("Tab")
        self.type(password)
        self.key("Return")
        video = self.find("play", 30)
        if video is None:
            return "the video window after the login"
        mark = len(service.lines())
        x, y, w, h = self.geometry(video)
        self.click(x + 3, y + 3)
        time.sleep(0.3)
        self.key("Right")
        if service.wait_for(mark, "STREAM OPEN", 20) is None:
            return "the stream of the next channel"
        return None

    def geometry(self, wid):
        out = self.tool("getwindowgeometry", "--shell", wid)
        values = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def shot(self, path):
        subprocess.run(["import", "-display", self.display, "-window", "root", path],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        return path

    def mean(self, path, x, y, w, h):
        """Mean brightness (0..1) of a part of a screenshot."""
        out = subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                              "-format", "%[fx:mean]", "info:"], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL).stdout.decode().strip()
        return float(out) if out else -1.0

    def digest(self, path, x, y, w, h):
        out = subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                              "-format", "%#", "info:"], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL).stdout.decode().strip()
        return out

    def red_pixels(self, path, x, y, w, h):
        """How many strongly red pixels a part of a screenshot holds."""
        out = subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", "txt:-"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.decode()
        count = 0
        for m in re.finditer(r"#([0-9A-Fa-f]{2})([0-9A-Fa-f]{2})([0-9A-Fa-f]{2})", out):
            r, g, b = (int(v, 16) for v in m.groups())
            count += r > 200 and g < 90 and b < 90
        return count

    def column(self, path, x, y, h):
        """The colours of a one-pixel column of a screenshot, top to bottom."""
        out = subprocess.run(["convert", path, "-crop", "1x%d+%d+%d" % (h, x, y), "+repage", "txt:-"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.decode()
        colours = []
        for line in out.splitlines():
            m = re.search(r"#([0-9A-Fa-f]{6})", line)
            if m and not line.startswith("#"):
                colours.append(m.group(1).upper())
        return colours


class Service:
    """The stand-in service (scripts/start-standin) with its log and faults."""

    def __init__(self, program, data, work, extra=()):
        self.work = work
        self.log = os.path.join(work, "requests.log")
        self.control = os.path.join(work, "faults")
        self.address = subprocess.run([os.path.join(SCRIPTS, "start-standin"), work, program, "--data", data]
                                      + list(extra), stdout=subprocess.PIPE, check=True).stdout.decode().strip()

    def lines(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="ascii", errors="replace") as f:
            return [line.rstrip("\n") for line in f]

    def faults(self, text):
        with open(self.control, "w") as f:
            f.write(text + "\n")
        time.sleep(0.05)

    def wait_for(self, mark, text, timeout=8.0):
        until = time.time() + timeout
        while time.time() < until:
            for line in self.lines()[mark:]:
                if text in line:
                    return line
            time.sleep(0.1)
        return None

    def close(self):
        subprocess.run([os.path.join(SCRIPTS, "start-standin"), "--stop", self.work])
