#!/usr/bin/python3
"""The Debian package as a Linux subscriber gets it:
python3 -m tests.scripts.deb_install WINE-BUILD-DIR TVSERVICE-PROGRAM

Writes the package as a user does, with make deb from the checkout's root
(and with scripts/deb given relative folders with blanks in their names), runs lintian on it (no error, no
warning), installs it with apt-get (which brings what it depends on), starts
`tvclient` from the PATH as a user other than root with a fresh home: the
login dialog comes and a channel of the stand-in plays; then apt-get remove
takes away every file the package installed. Runs again on a machine where
the package is already installed. Needs root (apt-get); without it, it says
so and is skipped.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WORK = tempfile.mkdtemp(prefix="tvclient-deb.")
# The driver ends the Wine server of the prefix it is given; this one is the user's.
os.environ["WINEPREFIX"] = os.path.join(WORK, "home", ".local", "share", "tvclient", "prefix")
# (after the prefix is set: the desktop module reads it)
from tests.e2e.desktop import Desktop, Service, StepFailed, check_and_say as check  # noqa: E402
from tests.scripts.made import (MakeFailed, make_packages, refuses_a_loopback_package,  # noqa: E402
                                script_takes_relative_folders)

SKIPPED = 77
USER = "nobody"  # a user other than root that every Debian system has
SHOTS = os.path.join(ROOT, "build", "deb")


def as_user(home, desktop, service, *command):
    """Runs a command as USER with a fresh environment, as a desktop session would start it."""
    env = ["HOME=" + home, "PATH=/usr/local/bin:/usr/bin:/bin", "DISPLAY=" + desktop.display, "LANG=C.UTF-8",
           "TVCLIENT_SERVICE=" + service.address]
    return ["runuser", "-u", USER, "--", "env", "-i"] + env + list(command)


def apt_get(*args):
    return subprocess.run(["apt-get", "-y", "-q"] + list(args), env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"),
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)


def installed_files():
    out = subprocess.run(["dpkg", "-L", "tvclient"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    return [p for p in out.decode().splitlines() if os.path.isfile(p) or os.path.islink(p)]


def what_happened(process, output, service, desktop):
    """What a start that showed no login dialog left to read: its exit, its
    output, the windows on the screen and the service's last requests."""
    with open(output, "rb") as f:
        said = f.read().decode("utf-8", "replace")[-3000:]
    return "exit %s, windows %s, output:\n%s\nthe service's last requests:\n%s" % (
        process.poll(), list(desktop.windows().values()), said, "\n".join(service.lines()[-10:]))


def first_start(desktop, service, home):
    output = os.path.join(WORK, "first-start.log")
    command = as_user(home, desktop, service, "tvclient")
    with open(output, "wb") as out:
        # The launcher's own lines and Wine's errors, kept for a start that fails.
        process = subprocess.Popen(command[:-1] + ["WINEDEBUG=err+all", "tvclient"], stdout=out, stderr=out)
    try:
        # The first start makes the user's Wine prefix: some seconds, more
        # on a machine as loaded as make test's.
        started = time.time()
        shown = None
        while shown is None and process.poll() is None and time.time() < started + 240:
            shown = desktop.find("Login", 2)
        if shown is None:
            print(what_happened(process, output, service, desktop))
        check(shown is not None,
              "tvclient from the PATH shows the login dialog (after %.0f s)" % (time.time() - started))
        time.sleep(0.5)
        os.makedirs(SHOTS, exist_ok=True)
        desktop.shot(os.path.join(SHOTS, "first-start.png"))
        data = os.path.join(home, ".local", "share", "tvclient")
        check(os.path.isfile(os.path.join(data, "prefix", "system.reg")),
              "in a Wine prefix of its own under the user's data folder")
        # Started with root's umask (022): the saved login is the user's alone all the same.
        private = [os.stat(p).st_mode & 0o077 == 0 for p in (data, os.path.join(data, "prefix", "user.reg"))]
        check(all(private), "the prefix's folder and its user.reg are the user's alone")
        missing = desktop.log_in_and_play(service, "petar", "s3cret")
        check(missing is None, "it logs in and a channel of the stand-in plays (missing: %s)" % missing)
        time.sleep(2)
        desktop.shot(os.path.join(SHOTS, "playing.png"))
    finally:
        # The user's Wine server ends, and with it the program.
        subprocess.run(["runuser", "-u", USER, "--", "env", "-i", "WINEPREFIX=" + os.environ["WINEPREFIX"],
                        "/usr/lib/wine/wineserver", "-k"], stderr=subprocess.DEVNULL, timeout=60)
        try:
            process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def main():
    if os.geteuid() != 0:
        print("SKIPPED: installing a package needs root (apt-get); run make test as root, as CI does")
        return SKIPPED
    build, tvservice = sys.argv[1], sys.argv[2]
    version = open(os.path.join(ROOT, "VERSION")).read().strip()
    names = ["tvclient_%s~demo_amd64.deb" % version]
    try:
        refused = refuses_a_loopback_package("deb", build)
        if refused:
            raise MakeFailed(refused)
        package = os.path.join(make_packages("deb", build, names), names[0])
        script_takes_relative_folders("deb", build, names)
    except MakeFailed as e:
        print("FAIL: " + str(e))
        return 1
    home = os.path.join(WORK, "home")
    os.makedirs(home)
    shutil.chown(home, USER)
    os.chmod(WORK, 0o755)
    desktop = Desktop()
    service = Service(tvservice, os.path.join(ROOT, "tests", "e2e", "e2e.yaml"), os.path.join(WORK, "service"))
    try:
        lint = subprocess.run(["lintian", "--allow-root", "--fail-on", "error,warning", package],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        print(lint.stdout.decode().strip())
        check(lint.returncode == 0, "lintian finds no error and no warning")

        result = apt_get("install", "--reinstall", package)
        if result.returncode != 0:
            print(result.stdout.decode()[-2000:])
        check(result.returncode == 0, "apt-get installs the package and what it depends on")
        files = installed_files()
        check(shutil.which("tvclient") == "/usr/bin/tvclient" and "/usr/share/applications/tvclient.desktop" in files,
              "the command is on the PATH and the desktop has its menu entry")

        first_start(desktop, service, home)

        result = apt_get("remove", "tvclient")
        check(result.returncode == 0, "apt-get removes it")
        left = [p for p in files if os.path.lexists(p)]
        check(not left and not os.path.exists("/usr/lib/tvclient"), "leaving none of its files (%s)" % left)
        print("PASS: the package passes lintian, installs, starts from the PATH, plays and is removed cleanly")
        return 0
    except StepFailed as e:
        print("FAIL: " + str(e))
        return 1
    finally:
        service.close()
        desktop.close()
        shutil.rmtree(WORK, ignore_errors=True)


sys.exit(main())
