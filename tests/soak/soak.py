#!/usr/bin/python3
"""Long-running check: zaps every few seconds for two thirds of SOAK_MINUTES
(30) while the stand-in injects random faults, then watches one channel for
the last third on a line that drops the stream's connection every 20 to 60
s. Reports crashes (must be none), hangs (none), the client's memory growth,
and for the drops the time from each to the picture moving again (median
and worst; goals 1.5 s and 3 s) and the watchdog restarts among them (goal
none). Drives the client from outside, as the end-to-end journey does.

Usage: python3 -m tests.soak.soak TVSERVICE-PROGRAM [MINUTES]
"""

import os
import random
import statistics
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
# The line that drops: each stream connection is closed this long after it
# began (the stand-in's drop fault), a new length after every drop.
DROP_EVERY = (20, 60)
DROP_GOALS = (1.5, 3.0)  # median and worst seconds from a drop to the picture moving again


def read_trace(path):
    """The client's trace: (seconds, name) pairs."""
    events = []
    if os.path.exists(path):
        with open(path, encoding="ascii", errors="replace") as f:
            for line in f:
                at, _, name = line.rstrip("\n").partition(" ")
                if at.isdigit():
                    events.append((int(at) / 1e6, name))
    return events


def drop_figures(events):
    """For each break of the stream by its host: the seconds to the picture
    moving again (None when it did not before the next break or change), and
    how many watchdog restarts came meanwhile."""
    delays = []
    restarts = 0
    broke = None
    for at, name in events:
        if name == "relay.host broke the stream off":
            if broke is not None:
                delays.append(None)
            broke = at
        elif broke is not None and name == "watchdog.restart":
            restarts += 1
        elif broke is not None and name in ("time.moved", "change"):
            delays.append(at - broke if name == "time.moved" else None)
            broke = None
    return delays, restarts


def main():
    tvservice = sys.argv[1]
    minutes = float(sys.argv[2]) if len(sys.argv) > 2 else float(os.environ.get("SOAK_MINUTES", "30"))
    os.makedirs(ARTEFACTS, exist_ok=True)
    work = tempfile.mkdtemp(prefix="tvclient-soak.")
    desktop = Desktop()
    service = Service(tvservice, os.path.join(ROOT, "standin", "demo.yaml"), work)
    forget_login(desktop.env)
    crashes = hangs = zaps = faults_set = messages = locks = drops = 0
    rss = []
    started = time.time()
    zapping_until = started + minutes * 60 * 2 / 3
    trace_path = os.path.join(work, "client.trace")
    dropping_from = None
    dropping_rss = None
    at_drops = []  # the client's resident memory at each drop
    client = None
    try:
        client = Client(desktop, service, TVCLIENT_TRACE=trace_path)
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
        while time.time() < zapping_until:
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
            messages += answer_messages(desktop)
            locks += refuse_code(desktop)
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
        if not crashes and not hangs:
            # The last third: one channel watched on a line that drops.
            dropping_from = len(read_trace(trace_path))
            service.faults("stream=drop:%d" % random.randint(*DROP_EVERY))
            messages += answer_messages(desktop)
            locks += refuse_code(desktop)
            # A stream started now, so that the line's drops reach it: the
            # second channel (no lock code), by way of the first.
            seen = len(service.lines())
            for key in ("Home", "Right"):
                client.focus_video()
                desktop.key(key)
                time.sleep(2)
                locks += refuse_code(desktop)
            dropping_rss = client.rss_kib()
            last_progress = time.time()
            while time.time() - started < minutes * 60:
                if client.process.poll() is not None:
                    crashes += 1
                    print("the client ended (code %s) after %.0f s" % (client.process.returncode,
                                                                       time.time() - started), flush=True)
                    break
                messages += answer_messages(desktop)
                lines = service.lines()
                new = lines[seen:]
                seen = len(lines)
                if any("STREAM DROPPED" in line for line in new):
                    drops += 1
                    at_drops.append(client.rss_kib())
                    service.faults("stream=drop:%d" % random.randint(*DROP_EVERY))
                if any("GET /live" in line for line in new):
                    last_progress = time.time()
                elif time.time() - last_progress > DROP_EVERY[1] + 30:
                    hangs += 1
                    desktop.shot(os.path.join(ARTEFACTS, "soak-hang.png"))
                    print("no stream request for %d s on the dropping line at %.0f s" % (
                        DROP_EVERY[1] + 30, time.time() - started), flush=True)
                    break
                time.sleep(1)
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
    goals_met = True
    if dropping_from is not None:
        delays, restarts = drop_figures(read_trace(trace_path)[dropping_from:])
        moved = sorted(d for d in delays if d is not None)
        print("soak: on a line that drops every %d to %d s: %d drops, %d broken streams seen by the relay, "
              "%d given back with the picture moving again" % (DROP_EVERY + (drops, len(delays), len(moved))))
        if moved:
            print("soak: from a drop to the picture moving again: median %.2f s, worst %.2f s "
                  "(goals %.1f and %.1f s)" % (statistics.median(moved), moved[-1], DROP_GOALS[0], DROP_GOALS[1]))
        print("soak: watchdog restarts after a drop: %d (goal 0)" % restarts)
        if dropping_rss is not None:
            # The zapping's growth and the dropping line's, told apart.
            grown = last - dropping_rss
            each = ", ".join(str(k) for k in at_drops)
            print("soak: resident memory on the dropping line %d KiB at its start, %d KiB at the end (%+d KiB, "
                  "%.0f KiB a drop; at each drop: %s)" % (dropping_rss, last, grown, grown / max(1, drops), each))
        goals_met = (bool(moved) and len(moved) == len(delays) and restarts == 0 and
                     statistics.median(moved) <= DROP_GOALS[0] and moved[-1] <= DROP_GOALS[1])
    return 1 if crashes or hangs or not goals_met else 0


def answer_messages(desktop):
    """Answers the message boxes the faults make the program show; how many."""
    answered = 0
    for caption in MESSAGE_CAPTIONS:
        wid = desktop.find(caption, 0.1)
        if wid is not None:
            # The box has no owner and the video window is topmost too: a
            # click on the video window since put the box under it and took
            # the keyboard. A person brings it up and clicks it first.
            desktop.tool("windowraise", wid)
            x, y, w, h = desktop.geometry(wid)
            desktop.click(x + w // 2, y + h // 3)
            desktop.key("Return")
            answered += 1
    return answered


def refuse_code(desktop):
    """Answers a code request with a wrong code; 1 when there was one."""
    if desktop.find(LOCK_CAPTION, 0.1) is None:
        return 0
    desktop.type("0000")
    desktop.key("Return")
    return 1


if __name__ == "__main__":
    sys.exit(main())
