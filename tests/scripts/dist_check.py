#!/usr/bin/python3
"""Checks the Windows packages: python3 -m tests.scripts.dist_check MINGW-BUILD-DIR

Writes them as a user does, with make dist from the checkout's root (the
earlier ones moved aside first), and with scripts/dist given relative
folders with blanks in their names; then checks that the
zip holds exactly the program, the subscriber's README and the licence
notices; that the program is a 64-bit Windows executable (PE32+) that
imports nothing but Windows' own DLLs, with libvlc.dll delay-loaded, and
describes itself (its version resource carries VERSION); and that the
installer is there, a 64-bit (PE32+) executable carrying VERSION too.
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

from tests.scripts.made import MakeFailed, make_packages, refuses_a_loopback_package, script_takes_relative_folders

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "comctl32.dll", "ws2_32.dll",
               "winhttp.dll", "msvcrt.dll"}


def fail(what):
    print("FAIL: " + what)
    sys.exit(1)


def pe_kind(path):
    """The machine and the optional header's magic of a PE file."""
    data = open(path, "rb").read(4096)
    at = struct.unpack_from("<I", data, 0x3C)[0]
    if data[:2] != b"MZ" or data[at:at + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", data, at + 4)[0], struct.unpack_from("<H", data, at + 24)[0]


def file_version(path):
    """The file and product versions of a PE's version resource, "a.b.c.d"."""
    data = open(path, "rb").read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return None, None
    fms, fls, pms, pls = struct.unpack_from("<IIII", data, at + 8)

    def dotted(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    return dotted(fms, fls), dotted(pms, pls)


def version_value(path, name):
    """A string of the version resource: the UTF-16 text after its name."""
    data = open(path, "rb").read()
    key = (name + "\0").encode("utf-16-le")
    at = data.find(key)
    if at < 0:
        return None
    at += len(key)
    at += (4 - at % 4) % 4  # the value starts on a 32-bit boundary
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


def main():
    build = sys.argv[1]
    version = open(os.path.join(ROOT, "VERSION")).read().strip()
    work = tempfile.mkdtemp(prefix="tvclient-dist.")
    try:
        refused = refuses_a_loopback_package("dist", build)
        if refused:
            fail(refused)
        packages = ["tvclient-%s-demo-win64.zip" % version, "tvclient-%s-demo-setup.exe" % version]
        try:
            dist = make_packages("dist", build, packages)
            script_takes_relative_folders("dist", build, packages)
        except MakeFailed as e:
            fail(str(e))
        # For an operator's service, as the README says: plainly named, the
        # service built in.
        plain = ["tvclient-%s-win64.zip" % version, "tvclient-%s-setup.exe" % version]
        try:
            made = make_packages("dist", build, plain, settings=("SERVICE_HOST=tv.example.bg",))
        except MakeFailed as e:
            fail(str(e))
        with zipfile.ZipFile(os.path.join(made, plain[0])) as z:
            body = z.read("tvclient-%s/tvclient.exe" % version)
        if b"tv.example.bg" not in body or b"127.0.0.1:8080" in body:
            fail("make dist SERVICE_HOST=tv.example.bg packaged a program without that service")
        for name in plain:
            os.remove(os.path.join(made, name))
        for name in packages:
            shutil.copy(os.path.join(dist, name), work)
        path = os.path.join(work, packages[0])
        folder = "tvclient-%s-demo/" % version
        with zipfile.ZipFile(path) as z:
            names = sorted(z.namelist())
            expected = sorted(folder + n for n in ["tvclient.exe", "README.txt", "licences/gcc-runtime.txt",
                                                   "licences/mingw-w64-runtime.txt"])
            if names != expected:
                fail("the package holds %s, not %s" % (names, expected))
            readme = z.read(folder + "README.txt").decode("utf-8-sig")
            for needed in ["libvlc.dll", "libvlccore.dll", "plugins", "Изход от системата?", "F1"]:
                if needed not in readme:
                    fail("the README does not name %s" % needed)
            if "GCC RUNTIME LIBRARY EXCEPTION" not in z.read(folder + "licences/gcc-runtime.txt").decode():
                fail("the GCC runtime notice lacks its exception")
            z.extract(folder + "tvclient.exe", work)
        program = os.path.join(work, folder, "tvclient.exe")
        headers = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", program], check=True,
                                 stdout=subprocess.PIPE).stdout.decode()
        if "file format pei-x86-64" not in headers or not re.search(r"^Magic\s+020b\b", headers, re.M):
            fail("tvclient.exe is not a PE32+ executable")
        imports = {m.lower() for m in re.findall(r"DLL Name: (\S+)", headers)}
        if not imports or not imports <= SYSTEM_DLLS:
            fail("tvclient.exe imports %s; allowed: %s" % (sorted(imports), sorted(SYSTEM_DLLS)))
        # GNU ld leaves the delay-import directory entry empty; the helper
        # and the name it loads are in the program.
        with open(program, "rb") as f:
            body = f.read()
        if b"libvlc.dll\0" not in body or b"__delayLoadHelper2" not in body:
            fail("tvclient.exe does not delay-load libvlc.dll")
        four = version + ".0"
        if file_version(program) != (four, four) or version_value(program, "ProductVersion") != version or \
                version_value(program, "ProductName") != "tvclient" or not version_value(program, "FileDescription"):
            fail("tvclient.exe's version resource does not carry %s: %s" % (version, file_version(program)))
        setup = os.path.join(work, packages[1])
        if not os.path.isfile(setup):
            fail("the installer %s is missing" % os.path.basename(setup))
        if pe_kind(setup) != (0x8664, 0x20B):
            fail("the installer is not a 64-bit (PE32+) executable: machine and magic %s" % (pe_kind(setup),))
        if file_version(setup)[1] != four or version_value(setup, "ProductVersion") != version:
            fail("the installer's version resource does not carry %s: %s" % (version, file_version(setup)))
        print("PASS: make dist refuses a package for 127.0.0.1 and says how to make one, and builds one for "
              "SERVICE_HOST; "
              "%s holds the program, README.txt and the licences; tvclient.exe is PE32+ "
              "importing %s and delay-loading libvlc.dll, version %s; %s is PE32+, version %s"
              % (os.path.basename(path), ", ".join(sorted(imports)), version, os.path.basename(setup), version))
    finally:
        shutil.rmtree(work)


main()
