#!/usr/bin/python3
"""Long-running check: zaps every few seconds for SOAK_MINUTES (30) while the
stand-in injects random faults, then reports crashes (must be none), hangs
(none) and the client's memory growth. Drives the client from outside, as
the end-to-end journey does.

Usage: python3 -m tests.soak.soak TVSERVICE-PROGRAM [MINUTES]
"""

import os
import random
import sys
import tempfile
import time

from tests.e2e.client import Client, forget_login
from tests.e2e.desktop import ROOT, Desktop, Service, check
from tests.e2e.journey import ARTEFACTS

FAULTS = ["silent", "close", "one_byte", "trailing_zero", "huge", "drip", "stall_half"]
KINDS = ["keepsession", "epg"]
MESSAGE_CAPTIONS = ("Грешка!", "ТВ ЗЕЛУР")
# A zap onto a locked channel asks for its code and waits for it: the soak
# answers as a viewer without the code does, with a wrong one.
LOCK_CAPTION = "Родителски контрол"


def main():
    tvservice = sys.argv[1]
    minutes = float(sys.argv[2]) if len(sys.argv) > 2 else float(os.environ.get("SOAK_MINUTES", "30"))
    os.makedirs(ARTEFACTS, exist_ok=True)
    work = tempfile.mkdtemp(prefix="tvclient-soak.")
    desktop = Desktop()
    service = Service(tvservice, os.path.join(ROOT, "standin", "demo.yaml"), work)
    forget_login(desktop.env)
    crashes = hangs = zaps = faults_set = messages = locks = 0
    rss = []
    started = time.time()
    client = None
    try:
        client = Client(desktop, service)
        check(desktop.find("Login", 40) is not None, "the login dialog appears")
        desktop.type("ivan")
        desktop.key("Tab")
        desktop.type("1234")
        desktop.key("Return")
        check(desktop.find("play", 20) is not None, "the video window appears")
        client.focus_video()
        desktop.key("Right")
        time.sleep(5)
        rss.append((0.0, client.rss_kib()))
        last_progress = time.time()
        last_fault = 0.0
        while time.time() - started < minutes * 60:
            if client.process.poll() is not None:
                crashes += 1
                print("the client ended (code %s) after %.0f s" % (client.process.returncode,
                                                                   time.time() - started), flush=True)
                break
            now = time.time()
            if now - last_fault > 15:
                if random.random() < 0.6:
                    service.faults("%s=%s" % (random.choice(KINDS), random.choice(FAULTS)))
                    faults_set += 1
                else:
                    service.faults("")
                last_fault = now
            # Answer what the faults make the program say.
            for caption in MESSAGE_CAPTIONS:
                if desktop.find(caption, 0.1) is not None:
                    desktop.key("Return")
                    messages += 1
            if desktop.find(LOCK_CAPTION, 0.1) is not None:
                desktop.type("0000")
                desktop.key("Return")
                locks += 1
            mark = len(service.lines())
            client.focus_video()
            desktop.key(random.choice(["Right", "Right", "Left", "Home", "End"]))
            zaps += 1
            # Any request within 20 seconds shows the program is alive.
            if service.wait_for(mark, "GET", 20) is not None:
                last_progress = time.time()
            elif time.time() - last_progress > 60:
                hangs += 1
                desktop.shot(os.path.join(ARTEFACTS, "soak-hang.png"))
                print("no request for 60 s after a key at %.0f s" % (time.time() - started), flush=True)
                break
            time.sleep(random.uniform(1.0, 4.0))
            if zaps % 20 == 0:
                rss.append(((time.time() - started) / 60, client.rss_kib()))
    finally:
        service.faults("")
        if client:
            client.kill()
        service.close()
        desktop.close()
    first = rss[1][1] if len(rss) > 1 else (rss[0][1] if rss else 0)
    last = rss[-1][1] if rss else 0
    print("soak: %.1f minutes, %d channel changes, %d faults injected, %d messages answered, "
          "%d code requests refused" % ((time.time() - started) / 60, zaps, faults_set, messages, locks))
    print("soak: crashes %d, hangs %d" % (crashes, hangs))
    print("soak: resident memory %d KiB after the first 20 changes, %d KiB at the end (%+d KiB, %.1f KiB a change)" % (
        first, last, last - first, (last - first) / max(1, zaps - 20)))
    return 1 if crashes or hangs else 0


if __name__ == "__main__":
    sys.exit(main())
