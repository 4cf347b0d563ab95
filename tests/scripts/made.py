"""The package commands as a user types them: make dist and make deb, run
from the checkout's root, with what they wrote before moved aside first so
that a stale package never passes for a new one."""

import os
import subprocess
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


class MakeFailed(Exception):
    pass


def make_packages(target, build, names, settings=("DEMO=1",)):
    """Runs `make TARGET SETTINGS` in ROOT for the build folder BUILD (its
    parent is the Makefile's BUILD, given only when it is not the default
    "build") and returns the folder holding NAMES, which the command must
    have written. The tests' build talks to the stand-in: a demo package."""
    parent = os.path.relpath(os.path.dirname(os.path.abspath(build)), ROOT)
    dist = os.path.join(ROOT, parent, "dist")
    for name in names:
        if os.path.lexists(os.path.join(dist, name)):
            os.remove(os.path.join(dist, name))
    command = ["make", "--no-print-directory", target] + list(settings) + \
        ([] if parent == "build" else ["BUILD=" + parent])
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
        result = subprocess.run([os.path.join(ROOT, "scripts", script), "out dir/", "the build/", "--demo"], cwd=here,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if result.returncode != 0:
            print(result.stdout.decode(errors="replace")[-3000:])
            raise MakeFailed("scripts/%s with relative folders exits with %d" % (script, result.returncode))
        for name in names:
            if not os.path.isfile(os.path.join(here, "out dir", name)):
                raise MakeFailed("scripts/%s with relative folders did not write %s" % (script, name))


def refuses_a_loopback_package(target, build):
    """`make TARGET` without SERVICE_HOST or DEMO, for the tests' build (which
    talks to 127.0.0.1), must end with an error that says how to make one,
    and write nothing; scripts/TARGET given a build for an operator's service
    names its package by the plain version. None, or what went wrong."""
    parent = os.path.relpath(os.path.dirname(os.path.abspath(build)), ROOT)
    dist = os.path.join(ROOT, parent, "dist")
    before = set(os.listdir(dist)) if os.path.isdir(dist) else set()
    command = ["make", "--no-print-directory", target] + ([] if parent == "build" else ["BUILD=" + parent])
    result = subprocess.run(command, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    said = result.stdout.decode(errors="replace")
    after = set(os.listdir(dist)) if os.path.isdir(dist) else set()
    if result.returncode == 0 or "SERVICE_HOST=" not in said or "DEMO=1" not in said or after != before:
        return "'%s' for a loopback build exits with %d, says %r, wrote %s" % (
            " ".join(command), result.returncode, said[-300:], sorted(after - before))
    with tempfile.TemporaryDirectory(prefix="tvclient operator ") as here:
        program = "tvclient.exe" if target == "dist" else "tvclient.exe.so"
        os.symlink(os.path.join(os.path.abspath(build), program), os.path.join(here, program))
        with open(os.path.join(here, "CMakeCache.txt"), "w") as f:
            f.write("TVCLIENT_SERVICE_HOST:STRING=tv.example.bg:8080\n")
        result = subprocess.run([os.path.join(ROOT, "scripts", target), os.path.join(here, "out"), here], cwd=here,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        written = os.listdir(os.path.join(here, "out")) if os.path.isdir(os.path.join(here, "out")) else []
        if result.returncode != 0 or not written or any("demo" in name for name in written):
            return "scripts/%s for an operator's build exits with %d and wrote %s" % (
                target, result.returncode, written)
    return None
