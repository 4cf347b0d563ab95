"""The client program as the journey, the soak and the bench start and read
it from outside: scripts/tvclient pointed at the stand-in, its Wine process
found by name, the click that gives its video window the focus, its memory
and processor time, and the remembered login in the Wine prefix's registry.
TVCLIENT_BUILD=mingw starts the Windows program instead of the wine build.
"""

import os
import re
import signal
import subprocess
import tempfile
import time

from tests.e2e.desktop import ROOT, WINE_PREFIX, StepFailed

TVCLIENT = os.path.join(ROOT, "scripts", "tvclient")
WINERUN = os.path.join(ROOT, "scripts", "winerun")
POLICIES = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Policies"
BUILD = os.environ.get("TVCLIENT_BUILD", "wine")
# The client's process as the system names it.
PROCESS_NAME = "tvclient.exe.so" if BUILD == "wine" else "tvclient.exe"


def pids_of(name):
    """The processes of exactly this name (a regular expression)."""
    out = subprocess.run(["pgrep", "-x", name], stdout=subprocess.PIPE).stdout.decode().split()
    return [int(p) for p in out]


def stat_fields(path):
    """The fields of a /proc stat file after the process's name: state, the
    parent's id, ..., user and system time at 11 and 12."""
    with open(path) as f:
        return f.read().rsplit(")", 1)[1].split()


def parent_of(pid):
    try:
        return int(stat_fields("/proc/%d/stat" % pid)[1])
    except (OSError, ValueError, IndexError):
        return 0


def descends_from(pid, ancestor):
    """Whether ancestor started pid, or a process that it started."""
    for _ in range(16):
        pid = parent_of(pid)
        if pid == ancestor:
            return True
        if pid <= 1:
            return False
    return False


def process_ticks(pid):
    """User and system CPU time of a process, in clock ticks."""
    fields = stat_fields("/proc/%d/stat" % pid)
    return int(fields[11]) + int(fields[12])


def threads_ticks(pid, prefix):
    """User and system CPU time of the process's threads whose name starts
    with prefix, in clock ticks."""
    total = 0
    try:
        tasks = os.listdir("/proc/%d/task" % pid)
    except OSError:
        return 0
    for tid in tasks:
        try:
            with open("/proc/%d/task/%s/comm" % (pid, tid)) as f:
                if not f.read().startswith(prefix):
                    continue
            fields = stat_fields("/proc/%d/task/%s/stat" % (pid, tid))
            total += int(fields[11]) + int(fields[12])
        except OSError:
            continue
    return total


def process_rss_kib(pid):
    """Resident memory of a process; 0 once it has gone."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


class Client:
    """One run of the program, started as a person's desktop starts it."""

    def __init__(self, desktop, service, **env):
        self.desktop = desktop
        run_env = dict(desktop.env, TVCLIENT_SERVICE=service.address, **env)
        # What the program and Wine say on the way, read when a step fails.
        self.output = tempfile.TemporaryFile()
        self.process = subprocess.Popen([TVCLIENT], env=run_env, stdout=self.output,
                                        stderr=subprocess.STDOUT, cwd="/")
        # The Wine process that runs the program: the one of its name that
        # the launcher started (other tests may run programs of the same
        # name meanwhile).
        self.pid = None
        for _ in range(400):
            fresh = [p for p in pids_of(PROCESS_NAME) if descends_from(p, self.process.pid)]
            if fresh:
                self.pid = fresh[0]
                break
            if self.process.poll() is not None:
                break
            time.sleep(0.05)

    def said(self, lines=15):
        """The last lines the program and Wine wrote."""
        self.output.seek(0)
        return self.output.read().decode("utf-8", "replace").splitlines()[-lines:]

    def wait(self, timeout=20.0):
        """The program's exit code, or None when it still runs after timeout."""
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def kill(self):
        """Ends the program at once, as a crash or the task manager would."""
        if self.pid is not None:
            try:
                os.kill(self.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        if self.process.poll() is None:
            self.process.kill()
        try:
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            pass

    def wait_for_wine(self, timeout=30):
        """Waits until the Wine server of the killed program has ended too.
        It ends a few seconds after its last program, with the desktop
        process it started: a program started just then can find its
        desktop gone and end at once, without a window."""
        subprocess.run(["/usr/lib/wine/wineserver", "-w"], env=dict(self.desktop.env, WINEPREFIX=WINE_PREFIX),
                       stderr=subprocess.DEVNULL, timeout=timeout)

    def end(self):
        """Kills the program and waits until its video window has gone."""
        self.kill()
        self.desktop.gone("play", 10)

    def rss_kib(self):
        return process_rss_kib(self.pid) if self.pid is not None else 0

    def focus_video(self, timeout=5.0):
        """Clicks the video window near its top left corner, where no overlay
        lies, as a person does before a key; its geometry."""
        wid = self.desktop.find("play", timeout)
        if wid is None:
            raise StepFailed("the video window is on the screen")
        x, y, w, h = self.desktop.geometry(wid)
        self.desktop.click(x + 3, y + 3)
        time.sleep(0.3)
        return x, y, w, h


def registry(name, env):
    """A value of the remembered login, or None."""
    out = subprocess.run([WINERUN, "reg", "query", POLICIES, "/v", name], env=env,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.decode("utf-8", "replace")
    m = re.search(r"%s\s+REG_SZ\s*(.*)" % re.escape(name), out)
    return m.group(1).strip() if m else None


def forget_login(env):
    for name in ("isRem", "a_user", "a_pass"):
        subprocess.run([WINERUN, "reg", "delete", POLICIES, "/v", name, "/f"], env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def remember_login(env, user, password):
    for name, value in (("isRem", "1"), ("a_user", user), ("a_pass", password)):
        subprocess.run([WINERUN, "reg", "add", POLICIES, "/v", name, "/d", value, "/f"], env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
