#!/usr/bin/python3
"""Checks the Windows package: dist_check.py MINGW-BUILD-DIR

Writes it with scripts/dist into a folder of its own, then checks that it
holds exactly the program, the subscriber's README and the licence notices,
and that the program is a 64-bit Windows executable (PE32+) that imports
nothing but Windows' own DLLs and libvlc.dll.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "comctl32.dll", "ws2_32.dll",
               "winhttp.dll", "msvcrt.dll", "libvlc.dll"}


def fail(what):
    print("FAIL: " + what)
    sys.exit(1)


def main():
    build = sys.argv[1]
    version = open(os.path.join(ROOT, "VERSION")).read().strip()
    work = tempfile.mkdtemp(prefix="tvclient-dist.")
    try:
        subprocess.run([os.path.join(ROOT, "scripts", "dist"), work, build], check=True, stdout=subprocess.DEVNULL)
        path = os.path.join(work, "tvclient-%s-win64.zip" % version)
        folder = "tvclient-%s/" % version
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
        if not imports or not imports <= SYSTEM_DLLS or "libvlc.dll" not in imports:
            fail("tvclient.exe imports %s; allowed: %s" % (sorted(imports), sorted(SYSTEM_DLLS)))
        print("PASS: %s holds the program, README.txt and the licences; tvclient.exe is PE32+ "
              "importing %s" % (os.path.basename(path), ", ".join(sorted(imports))))
    finally:
        shutil.rmtree(work)


main()
