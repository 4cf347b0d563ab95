"""The package commands as a user types them: make dist and make deb, run
from the checkout's root, with what they wrote before moved aside first so
that a stale package never passes for a new one."""

import os
import subprocess
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


class MakeFailed(Exception):
    pass


def make_packages(target, build, names):
    """Runs `make TARGET` in ROOT for the build folder BUILD (its parent is
    the Makefile's BUILD, given only when it is not the default "build") and
    returns the folder holding NAMES, which the command must have written."""
    parent = os.path.relpath(os.path.dirname(os.path.abspath(build)), ROOT)
    dist = os.path.join(ROOT, parent, "dist")
    for name in names:
        if os.path.lexists(os.path.join(dist, name)):
            os.remove(os.path.join(dist, name))
    command = ["make", "--no-print-directory", target] + ([] if parent == "build" else ["BUILD=" + parent])
    result = subprocess.run(command, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        print(result.stdout.decode(errors="replace")[-3000:])
        raise MakeFailed("'%s' exits with %d" % (" ".join(command), result.returncode))
    for name in names:
        if not os.path.isfile(os.path.join(dist, name)):
            raise MakeFailed("'%s' did not write %s" % (" ".join(command), os.path.join(parent, "dist", name)))
    return dist


def script_takes_relative_folders(script, build, names):
    """Runs scripts/SCRIPT from another working folder with relative folders
    that end in a slash and hold a blank; the names it must write there."""
    with tempfile.TemporaryDirectory(prefix="tvclient packages ") as here:
        os.symlink(os.path.abspath(build), os.path.join(here, "the build"))
        result = subprocess.run([os.path.join(ROOT, "scripts", script), "out dir/", "the build/"], cwd=here,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if result.returncode != 0:
            print(result.stdout.decode(errors="replace")[-3000:])
            raise MakeFailed("scripts/%s with relative folders exits with %d" % (script, result.returncode))
        for name in names:
            if not os.path.isfile(os.path.join(here, "out dir", name)):
                raise MakeFailed("scripts/%s with relative folders did not write %s" % (script, name))
