#!/usr/bin/python3
"""The Windows program as a subscriber gets it, under Wine, in a Wine prefix
of its own: python3 -m tests.scripts.windows_install MINGW-BUILD-DIR TVSERVICE-PROGRAM

1. tvclient.exe alone in a folder, no VLC registered, no libvlc reachable:
   the message that VLC 3 is needed, exit code 0, and not one request to
   the service.
2. VLC registered (its InstallDir names a folder that holds the bridge's
   libvlc.dll), nothing beside the program: the login dialog, and a channel
   of the stand-in plays.
3. The installer refuses a folder outside Program Files.
4. The installer that make dist wrote, silently: the files, the Start-menu
   shortcut (its target and working folder) and the uninstall entry; the
   installed program, started as the shortcut starts it, shows the login
   dialog; the silent uninstaller leaves nothing of the program behind and
   the saved login stays.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WORK = tempfile.mkdtemp(prefix="tvclient-install.")
PREFIX = os.path.join(WORK, "prefix")
os.environ["WINEPREFIX"] = PREFIX
# (after the prefix is set: the desktop module reads it)
from tests.e2e.desktop import Desktop, Service, StepFailed, check_and_say as check  # noqa: E402

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
DRIVE_C = os.path.join(PREFIX, "drive_c")
PROGRAM_FILES = os.path.join(DRIVE_C, "Program Files", "tvclient")
SHORTCUT = os.path.join(DRIVE_C, "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", "tvclient",
                        "tvclient.lnk")
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\tvclient"
POLICIES = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Policies"
MISSING_CAPTION = "Липсва VLC"


def wine_env(desktop, bridge=None, **extra):
    env = dict(desktop.env, WINEPREFIX=PREFIX, WINEDEBUG="-all", LC_ALL="bg_BG.UTF-8",
               # No menu entries on the Linux desktop from the installer's shortcut.
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d", **extra)
    env.pop("WINEDLLPATH", None)
    if bridge:
        env["WINEDLLPATH"] = bridge
    return env


def wine(desktop, *args, bridge=None, cwd=None, **extra):
    return subprocess.run([WINE] + list(args), env=wine_env(desktop, bridge, **extra), cwd=cwd,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)


def reg_query(desktop, key, name):
    out = wine(desktop, "reg", "query", key, "/v", name).stdout.decode("utf-8", "replace")
    for line in out.splitlines():
        f = line.split(None, 2)
        if len(f) >= 2 and f[0] == name:
            return f[2].strip() if len(f) == 3 else ""
    return None


def wineserver(*args):
    """Wine's server of the test's prefix: -w waits for its programs to end, -k ends them."""
    subprocess.run([WINESERVER] + list(args), env=dict(os.environ, WINEPREFIX=PREFIX), stderr=subprocess.DEVNULL)


def shortcut_paths(path):
    """The target and the working folder of a shell link (.lnk)."""
    data = open(path, "rb").read()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C
    if flags & 0x1:  # HasLinkTargetIDList
        at += 2 + struct.unpack_from("<H", data, at)[0]
    target = None
    if flags & 0x2:  # HasLinkInfo
        size, header, info_flags, _, base_offset = struct.unpack_from("<IIIII", data, at)
        if info_flags & 0x1:
            end = data.index(b"\0", at + base_offset)
            target = data[at + base_offset:end].decode("cp1252")
        at += size
    strings = []
    unicode = flags & 0x80
    for bit in (0x4, 0x8, 0x10, 0x20, 0x40):  # name, relative path, working folder, arguments, icon
        if flags & bit:
            n = struct.unpack_from("<H", data, at)[0]
            width = 2 if unicode else 1
            raw = data[at + 2:at + 2 + n * width]
            # Wine counts the terminating zero in.
            strings.append((bit, raw.decode("utf-16-le" if unicode else "cp1252").rstrip("\0")))
            at += 2 + n * width
    working = dict(strings).get(0x10)
    return target, working


def start_program(desktop, windows_path, cwd, service, bridge):
    return subprocess.Popen([WINE, windows_path], env=wine_env(desktop, bridge, TVCLIENT_SERVICE=service.address),
                            cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def end_program(process):
    if process.poll() is None:
        process.kill()
    process.wait()
    wineserver("-k")


def without_vlc(desktop, service, program):
    lone = os.path.join(DRIVE_C, "lone")
    os.makedirs(lone)
    shutil.copy(program, lone)
    mark = len(service.lines())
    process = start_program(desktop, r"C:\lone\tvclient.exe", lone, service, None)
    box = desktop.find(MISSING_CAPTION, 40)
    check(box is not None, "without VLC the program says that it needs VLC 3 (64-bit)")
    desktop.shot(os.path.join(ROOT, "build", "mingw", "vlc-missing.png"))
    desktop.tool("windowactivate", "--sync", box)
    desktop.key("Return")
    try:
        code = process.wait(timeout=20)
    except subprocess.TimeoutExpired:
        code = None
    end_program(process)
    check(code == 0, "and ends with exit code 0 (was %s)" % code)
    check(len(service.lines()) == mark, "before any request to the service")


def with_registered_vlc(desktop, service, bridge_dll, bridge):
    vlc = os.path.join(DRIVE_C, "VLC")
    os.makedirs(vlc)
    shutil.copy(bridge_dll, os.path.join(vlc, "libvlc.dll"))
    wine(desktop, "reg", "add", r"HKLM\SOFTWARE\VideoLAN\VLC", "/v", "InstallDir", "/d", r"C:\VLC", "/f")
    wine(desktop, "reg", "add", r"HKLM\SOFTWARE\VideoLAN\VLC", "/v", "Version", "/d", "3.0.21", "/f")
    process = start_program(desktop, r"C:\lone\tvclient.exe", os.path.join(DRIVE_C, "lone"), service, bridge)
    try:
        missing = desktop.log_in_and_play(service, "petar", "s3cret")
        check(missing is None, "with VLC registered, it logs in and a channel plays through libvlc from VLC's "
                               "folder (missing: %s)" % missing)
    finally:
        end_program(process)


def elsewhere_refused(desktop, setup):
    """A folder outside Program Files (which would inherit the drive's
    "Authenticated Users: Modify") is refused, and nothing is written there."""
    shutil.copy(setup, DRIVE_C)
    # (Folders without blanks: Wine quotes an argument with blanks, and the
    # installer reads /D= only unquoted, as Windows' own shortcuts give it.)
    for folder in (r"C:\Elsewhere\tvclient", r"C:\Users\Public\tvclient"):
        result = wine(desktop, "C:\\" + os.path.basename(setup), "/S", "/D=" + folder)
        wineserver("-w")
        check(result.returncode != 0, "the installer refuses %s (exit code %d)" % (folder, result.returncode))
    made = [name for name in ("Elsewhere", os.path.join("users", "Public", "tvclient"))
            if os.path.exists(os.path.join(DRIVE_C, name))]
    check(not made, "and writes nothing there (%s)" % made)
    check(reg_query(desktop, UNINSTALL_KEY, "DisplayName") is None, "nor an uninstall entry")


def installer(desktop, service, setup, bridge):
    version = open(os.path.join(ROOT, "VERSION")).read().strip()
    shutil.copy(setup, DRIVE_C)
    result = wine(desktop, "C:\\" + os.path.basename(setup), "/S")
    wineserver("-w")
    check(result.returncode == 0, "the installer runs silently")
    for name in ("tvclient.exe", "README.txt", "uninstall.exe", os.path.join("licences", "gcc-runtime.txt"),
                 os.path.join("licences", "mingw-w64-runtime.txt")):
        check(os.path.isfile(os.path.join(PROGRAM_FILES, name)), "it installs %s" % name)
    check(os.path.isfile(SHORTCUT), "it makes the Start-menu shortcut")
    target, working = shortcut_paths(SHORTCUT)
    check(target is not None and target.lower() == r"c:\program files\tvclient\tvclient.exe",
          "the shortcut starts the program (%s)" % target)
    check(working is not None and working.lower() == r"c:\program files\tvclient",
          "in its own folder (%s)" % working)
    check(reg_query(desktop, UNINSTALL_KEY, "DisplayName") == "tvclient" and
          reg_query(desktop, UNINSTALL_KEY, "DisplayVersion") == version and
          reg_query(desktop, UNINSTALL_KEY, "Publisher") and
          reg_query(desktop, UNINSTALL_KEY, "EstimatedSize") and
          (reg_query(desktop, UNINSTALL_KEY, "UninstallString") or "").lower().endswith('uninstall.exe"'),
          "Windows lists it with its name, version, publisher, size and uninstaller")

    process = start_program(desktop, target, os.path.join(PROGRAM_FILES), service, bridge)
    try:
        check(desktop.find("Login", 40) is not None, "the installed program shows the login dialog")
    finally:
        end_program(process)

    # The subscriber's saved login.
    for name, value in (("isRem", "1"), ("a_user", "petar"), ("a_pass", "s3cret")):
        wine(desktop, "reg", "add", POLICIES, "/v", name, "/d", value, "/f")
    result = wine(desktop, r"C:\Program Files\tvclient\uninstall.exe", "/S")
    wineserver("-w")
    check(result.returncode == 0, "the uninstaller runs silently")
    # The uninstaller works from a copy of itself that it starts and leaves
    # running: on a busy machine that copy may still be at work.
    for _ in range(100):
        if not os.path.exists(PROGRAM_FILES):
            break
        time.sleep(0.2)
    left = [] if not os.path.exists(PROGRAM_FILES) else sorted(
        os.path.relpath(os.path.join(here, name), PROGRAM_FILES)
        for here, _, names in os.walk(PROGRAM_FILES) for name in names)
    check(not os.path.exists(PROGRAM_FILES), "it removes the program's folder%s" % (
        " (left: %s)" % left if left else ""))
    check(not os.path.exists(os.path.dirname(SHORTCUT)), "and the Start-menu entry")
    check(reg_query(desktop, UNINSTALL_KEY, "DisplayName") is None, "and the uninstall entry")
    check(reg_query(desktop, POLICIES, "a_user") == "petar" and reg_query(desktop, POLICIES, "isRem") == "1",
          "the saved login stays")


def main():
    build, tvservice = sys.argv[1], sys.argv[2]
    version = open(os.path.join(ROOT, "VERSION")).read().strip()
    # What make dist wrote (the package test, which runs first, wrote it as a user does).
    setup = os.path.join(os.path.dirname(os.path.abspath(build)), "dist", "tvclient-%s-demo-setup.exe" % version)
    if not os.path.isfile(setup):
        print("FAIL: %s is missing: run make dist first" % setup)
        return 1
    bridge = os.path.join(os.path.abspath(build), "bridge")
    desktop = Desktop()
    service = Service(tvservice, os.path.join(ROOT, "tests", "e2e", "e2e.yaml"), os.path.join(WORK, "service"))
    try:
        wine(desktop, "wineboot", "-i")
        wineserver("-w")
        without_vlc(desktop, service, os.path.join(build, "tvclient.exe"))
        with_registered_vlc(desktop, service, os.path.join(build, "libvlc.dll"), bridge)
        elsewhere_refused(desktop, setup)
        installer(desktop, service, setup, bridge)
        print("PASS: the Windows program finds VLC or says it is missing; its installer installs, "
              "starts and uninstalls cleanly")
        return 0
    except StepFailed as e:
        print("FAIL: " + str(e))
        desktop.shot(os.path.join(ROOT, "build", "mingw", "windows-install-failed.png"))
        return 1
    finally:
        service.close()
        wineserver("-k")
        desktop.close()
        shutil.rmtree(WORK, ignore_errors=True)


sys.exit(main())
