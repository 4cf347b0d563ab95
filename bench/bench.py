#!/usr/bin/python3
"""The benchmarks of tvclient (make bench).

Runs the client of the wine build on an Xvfb display of its own against the
stand-in service on loopback, with every channel on air (as at a real
head-end, a channel change never waits for an encoder to start), and
measures side by side with vlc_baseline, a minimal program of ours around
libvlc with its default options:

  1. channel change: key handled -> first picture (libvlc's vout event), the
     median broken down into its parts; the baseline over the same streams;
  2. start-up: login button -> channel table filled;
  3. resident memory after 10 and after all channel changes;
  4. the channel table filled from a 32000-byte channelslist response;
  5. CPU time per minute of playing one channel, client and baseline.

Prints one table and writes results.csv, changes.csv, memory.csv and
bench.png under build/bench/results/. The client writes its timestamps
through TVCLIENT_TRACE; nothing here is a pass or fail: the targets are
shown beside the figures.

The first picture is taken at libvlc's vout event, the one event of libvlc
3.0 that comes with the first decoded picture; the first time-changed event
comes only once the network caching (1 s by default) has filled. Both
programs' windows are also read back from the X server (pixel_watch, and
vlc_baseline --watch-pixels) to show when the picture really is on the
screen.

BENCH_LINE (for example rtt=20ms,down=30mbit) puts a modelled home line
(line_model) between both programs and the stand-in: the client's exchanges
and every stream fetch, the client's and the baseline's, cross it.
BENCH_STREAM=broadcast zaps across channels like an operator's (H.264
1920x1080 interlaced, 6 Mbit/s, bench/bench-broadcast.yaml) instead of the
small ones.

Usage: python3 -m bench.bench BENCH_BUILD_FOLDER   (with tvservice, vlc_baseline, pixel_watch, line_model)
Environment: BENCH_CHANGES (1000), BENCH_TIMED (50), BENCH_STARTS (20),
BENCH_FILLS (20), BENCH_CPU_SECONDS (60), BENCH_HLS_CHANGES (8),
BENCH_RELAY_FETCHES (100), BENCH_LINE (none), BENCH_STREAM (small).
"""

import csv
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time

import tests.e2e.client as C
import tests.e2e.desktop as D
from tests.e2e.client import pids_of, process_rss_kib, process_ticks, threads_ticks

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# TVCLIENT_BUILD=mingw measures the Windows program, tvclient.exe, under Wine
# through the libvlc bridge; the wine build otherwise.
BUILD = os.environ.get("TVCLIENT_BUILD", "wine")
OUT = os.path.join(ROOT, "build", "bench", "results" if BUILD == "wine" else "results-" + BUILD)
WINE_BUILD = os.environ.get("TVCLIENT_BUILD_DIR", os.path.join(ROOT, "build", BUILD))
# Every Wine program run here (reg included) uses that build's prefix.
os.environ["TVCLIENT_BUILD_DIR"] = WINE_BUILD
USER, PASSWORD = "bench", "bench"

CHANGES = int(os.environ.get("BENCH_CHANGES", "1000"))
TIMED = int(os.environ.get("BENCH_TIMED", "50"))
STARTS = int(os.environ.get("BENCH_STARTS", "20"))
FILLS = int(os.environ.get("BENCH_FILLS", "20"))
RELAY_FETCHES = int(os.environ.get("BENCH_RELAY_FETCHES", "100"))
CPU_SECONDS = float(os.environ.get("BENCH_CPU_SECONDS", "60"))
# Changes to the HLS channel of bench/bench-hls.yaml, client and baseline.
HLS_CHANGES = int(os.environ.get("BENCH_HLS_CHANGES", "8"))
# BENCH_BASELINE_MEMORY=1: the baseline also makes CHANGES quick changes, to
# set its memory growth beside the client's (about two minutes more).
BASELINE_MEMORY = os.environ.get("BENCH_BASELINE_MEMORY", "0") == "1"
LINE = os.environ.get("BENCH_LINE", "")
STREAM = os.environ.get("BENCH_STREAM", "small")
if LINE or STREAM != "small":
    # Each line and kind of channel keeps its own results.
    OUT += "".join("-" + part for part in (LINE.replace("=", "").replace(",", "-"), STREAM) if part != "small")
# After a timed change: the picture moves, then a person looks this long.
SETTLE = 0.3
CLOCK_TICK = os.sysconf("SC_CLK_TCK")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_line(tools, settings, service, port):
    """The modelled line in front of the service, listening on port; from
    now on service.address is the line's (the stand-in advertises it)."""
    line = subprocess.Popen([os.path.join(tools, "line_model"), settings, service.address, str(port)],
                            stdout=subprocess.PIPE)
    address = line.stdout.readline().decode().strip()
    if not address:
        raise D.StepFailed("line_model did not start: " + settings)
    service.direct_address, service.address = service.address, address
    say("a line of %s between the programs and the stand-in (%s)" % (settings, address))
    return line


def say(text):
    print("bench: " + text, flush=True)


def median(values):
    v = sorted(values)
    if not v:
        return float("nan")
    n = len(v)
    return v[n // 2] if n % 2 else (v[n // 2 - 1] + v[n // 2]) / 2


def percentile(values, p):
    v = sorted(values)
    if not v:
        return float("nan")
    # Nearest rank: the smallest value with at least p% at or below it.
    rank = max(1, -(-len(v) * p // 100))
    return v[int(rank) - 1]


class Service(D.Service):
    """The stand-in service on a free loopback port."""

    def __init__(self, program, data, work, extra=()):
        os.makedirs(work, exist_ok=True)
        super().__init__(program, data, work, extra)

    def stream_paths(self):
        """The stream requests of the log, first appearance first."""
        seen = []
        with open(self.log, encoding="ascii", errors="replace") as f:
            for line in f:
                if line.startswith("GET /live?"):
                    path = line.split()[1]
                    if path not in seen:
                        seen.append(path)
        return seen

    def last_stream_path(self):
        paths = [line.split()[1] for line in open(self.log, encoding="ascii", errors="replace")
                 if line.startswith("GET /live?")]
        return paths[-1] if paths else None


class Trace:
    """The client's event trace: '<microseconds> <name>' lines."""

    def __init__(self, path):
        self.path = path
        self.events = []
        self.offset = 0
        open(path, "w").close()

    def read(self):
        # Bytes, not text: the Windows program ends its lines with CR LF.
        with open(self.path, "rb") as f:
            f.seek(self.offset)
            chunk = f.read()
        whole = chunk[:chunk.rfind(b"\n") + 1]
        self.offset += len(whole)
        for line in whole.decode().splitlines():
            at, name = line.split(" ", 1)
            self.events.append((int(at), name))

    def wait(self, name, after, timeout):
        """Index and time of the first event `name` at index >= after."""
        until = time.time() + timeout
        while True:
            self.read()
            for i in range(after, len(self.events)):
                if self.events[i][1] == name:
                    return i, self.events[i][0]
            if time.time() > until:
                return None, None
            time.sleep(0.002)

    def first(self, name, after):
        for i in range(after, len(self.events)):
            if self.events[i][1] == name:
                return self.events[i][0]
        return None


class Client(C.Client):
    """One run of the client with its trace."""

    def __init__(self, desktop, service, trace_path):
        self.trace = Trace(trace_path)
        super().__init__(desktop, service, TVCLIENT_TRACE=trace_path, TVCLIENT_BUILD=BUILD,
                         TVCLIENT_BUILD_DIR=WINE_BUILD)

    def log_in(self):
        """Presses the login button of the remembered login; the trace from there."""
        if self.desktop.find("Login", 60) is None:
            raise D.StepFailed("the login dialog did not appear")
        time.sleep(0.3)
        self.desktop.tool("key", "Return")
        _, filled = self.trace.wait("channels.filled", 0, 30)
        if filled is None:
            raise D.StepFailed("the channel table was not filled within 30 s of the login")

    def focus_video(self):
        return super().focus_video(timeout=10)


def startup_parts(trace):
    e = {name: at for at, name in reversed(trace.events)}
    login, answered, windows = e["login"], e["login.answered"], e["windows"]
    account, received, filled = e["account"], e["channels.answered"], e["channels.filled"]
    exchanges = (answered - login) + (received - account)
    player = e["player"] - e["player.begin"]
    return {
        "total": (filled - login) / 1000,
        "exchanges": exchanges / 1000,
        "fill": (filled - received) / 1000,
        "player": player / 1000,
        "windows": (windows - answered - player) / 1000,
        "exchanges_and_fill": (exchanges + filled - received) / 1000,
    }


def measure_startups(desktop, service, work):
    """STARTS starts from the login button; the last client stays running."""
    runs = []
    client = None
    for i in range(STARTS):
        client = Client(desktop, service, os.path.join(work, "start-%02d.trace" % i))
        client.log_in()
        runs.append(startup_parts(client.trace))
        if i < STARTS - 1:
            client.end()
    say("start-up: %d starts, median %.1f ms (exchanges and fill %.1f ms)" % (
        len(runs), median([r["total"] for r in runs]), median([r["exchanges_and_fill"] for r in runs])))
    return runs, client


def change_parts(trace, begin):
    """The parts of one traced change, in ms, from the event index begin."""
    t = {}
    for name in ("change", "keepsession", "epg.answered", "epg", "open", "opened", "relay.ending", "relay.ended"):
        t[name] = trace.first(name, begin)
    # The player's events of this change come after its stream's start: on a
    # line, one of the stream before (its late first picture) may come first.
    started = begin
    while started < len(trace.events) and trace.events[started][1] != "opened":
        started += 1
    for name in ("playing", "vout", "time", "relay.accepted", "relay.request", "relay.connected",
                 "relay.answered", "relay.passing"):
        t[name] = trace.first(name, started)
    if t["change"] is None or t["vout"] is None:
        return None

    def ms(a, b):
        return (t[b] - t[a]) / 1000 if t[a] is not None and t[b] is not None else float("nan")
    return {
        "total": ms("change", "vout"),
        "keepsession": ms("change", "keepsession"),
        # The program's own part, up to the stream's start, and the player's
        # from there to the picture (the relay's road within it).
        "program": ms("change", "open"),
        "player": ms("open", "vout"),
        "epg": ms("keepsession", "epg"),
        "epg_exchange": ms("keepsession", "epg.answered"),
        "open": ms("epg", "playing"),
        "picture": ms("playing", "vout"),
        "moving": ms("change", "time"),
        "stop_and_play_calls": ms("open", "opened"),
        "ending": ms("relay.ending", "relay.ended"),
        # The relay's steps, from the player's play call.
        "relay": [ms("opened", n) for n in ("relay.accepted", "relay.request", "relay.connected", "relay.answered",
                                            "relay.passing")],
        "at_change": t["change"],
        "at_opened": t["opened"],
        "pixels": float("nan"),
    }


def watch_pixels(program, desktop, geometry):
    """pixel_watch over the middle of the video window (the overlays are
    hidden; the info panel would lie above this band, the control bar below)."""
    x, y, w, h = geometry
    band = "%dx%d+%d+%d" % (w * 8 // 10, h // 2, x + w // 10, y + h // 4)
    return subprocess.Popen([program, band], env=desktop.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)


def picture_times(watcher, changes):
    """Ends the watcher; sets each change's 'pixels': the first lit picture
    that the band showed after the player was told to play the new channel
    (the old channel's picture stands still from then on)."""
    watcher.send_signal(signal.SIGTERM)
    out = watcher.communicate(timeout=20)[0].decode()
    seen = []
    for line in out.splitlines():
        f = line.split()
        if len(f) == 2:
            seen.append((int(f[0]), f[1] == "1"))
    for c in changes:
        if c["at_opened"] is None:
            continue
        for at, lit in seen:
            if at > c["at_opened"] and lit:
                c["pixels"] = (at - c["at_change"]) / 1000
                break


def zap(client, rss_log, watcher):
    """CHANGES channel changes with the Right key. The first TIMED wait for
    the picture to move and a moment more; the rest go on at the first
    picture, as a person holding the key does."""
    timed, rapid, failures = [], [], 0
    for n in range(1, CHANGES + 1):
        if n == TIMED + 1:
            picture_times(watcher, timed)
        mark = len(client.trace.events)
        client.desktop.tool("key", "Right")
        i, _ = client.trace.wait("change", mark, 10)
        if i is None:
            failures += 1
            continue
        # The first picture of this change's stream, not a late one of the
        # stream before.
        opened_i, _ = client.trace.wait("opened", i, 10)
        vout_i, _ = client.trace.wait("vout", opened_i, 10) if opened_i is not None else (None, None)
        if n <= TIMED and vout_i is not None:
            client.trace.wait("time", vout_i, 10)
        parts = change_parts(client.trace, i) if vout_i is not None else None
        if parts is None:
            failures += 1
        else:
            (timed if n <= TIMED else rapid).append(parts)
        if n <= TIMED:
            time.sleep(SETTLE)
        if n in (10, TIMED, CHANGES) or n % 50 == 0:
            rss_log.append((n, process_rss_kib(client.pid)))
        if n % 100 == 0:
            say("%d channel changes" % n)
    if watcher.poll() is None:
        picture_times(watcher, timed)
    return timed, rapid, failures


def cpu_per_minute(pid, seconds):
    """CPU seconds per minute that the process takes over `seconds`."""
    start = process_ticks(pid)
    time.sleep(seconds)
    return (process_ticks(pid) - start) / CLOCK_TICK * 60 / seconds


def wineserver_pid():
    found = pids_of("wineserver(64)?")
    return found[0] if found else None


def rss_lines(text):
    """The "rss CHANGES KIB" lines of vlc_baseline: {changes: KiB}."""
    found = {}
    for line in text.splitlines():
        f = line.split()
        if len(f) == 3 and f[0] == "rss":
            found[int(f[1])] = int(f[2])
    return found


def run_baseline(program, desktop, geometry, urls, work):
    x, y, w, h = geometry
    window = "%dx%d+%d+%d" % (w, h, x, y)
    env = dict(desktop.env, HOME=work)
    out = subprocess.run([program, "zap", "--window", window, "--changes", str(TIMED), "--settle-ms",
                          str(int(SETTLE * 1000)), "--watch-pixels"] + urls, env=env,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=900).stdout.decode()
    changes = []
    for line in out.splitlines():
        f = line.split()
        if len(f) < 6 or f[0] != "change":
            continue
        opened, vout, moving = (int(v) for v in f[3:6])
        pixels = int(f[6]) if len(f) > 6 else -1

        # Microseconds from the change, -1 for an event that did not come.
        def ms(us):
            return us / 1000 if us >= 0 else float("nan")
        if vout >= 0:
            changes.append({"total": ms(vout), "open": ms(opened),
                            "picture": ms(vout - opened) if opened >= 0 else float("nan"),
                            "moving": ms(moving), "pixels": ms(pixels)})
    # A change without its picture within 10 s, or missing from the output.
    failures = TIMED - len(changes)
    long_rss = {}
    if BASELINE_MEMORY:
        long_rss = rss_lines(subprocess.run(
            [program, "zap", "--window", window, "--changes", str(CHANGES), "--settle-ms", "0", "--quick",
             "--rss-only"] + urls, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            timeout=1800).stdout.decode())
    # Playback cost: the first stream, played on its own.
    player = subprocess.Popen([program, "play", "--window", window, urls[0]], env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    line = player.stdout.readline().decode().strip()
    cpu = float("nan")
    if line == "vout":
        time.sleep(3)
        cpu = cpu_per_minute(player.pid, CPU_SECONDS)
    player.send_signal(signal.SIGTERM)
    try:
        player.wait(timeout=20)
    except subprocess.TimeoutExpired:
        player.kill()
    return changes, failures, cpu, rss_lines(out), long_rss


def hls_changes(desktop, tvservice, work):
    """Changes from a plain channel to the HLS channel of bench-hls.yaml
    (Home, then End), client and baseline: from the key, or the baseline's
    stop, to the first picture."""
    service = Service(tvservice, os.path.join(HERE, "bench-hls.yaml"), os.path.join(work, "hls-service"), ["--on-air"])
    client = None
    changes, base = [], []
    try:
        client = Client(desktop, service, os.path.join(work, "hls.trace"))
        client.log_in()
        geometry = client.focus_video()
        for n in range(HLS_CHANGES + 1):
            for key in ("Home", "End"):
                mark = len(client.trace.events)
                client.desktop.tool("key", key)
                i, _ = client.trace.wait("change", mark, 10)
                vout_i, _ = client.trace.wait("vout", i, 20) if i is not None else (None, None)
                client.trace.wait("time", i, 10) if i is not None else None
                parts = change_parts(client.trace, i) if vout_i is not None else None
                # The first change to it starts the channel's encoder.
                if key == "End" and n > 0 and parts is not None:
                    changes.append(parts["total"])
                time.sleep(SETTLE)
        client.end()
        client = None
        paths = [line.split()[1] for line in open(service.log, encoding="ascii", errors="replace")
                 if line.startswith("GET /hls/master.m3u8?")]
        if paths:
            x, y, w, h = geometry
            out = subprocess.run([os.path.join(os.path.dirname(tvservice), "vlc_baseline"), "zap", "--window",
                                  "%dx%d+%d+%d" % (w, h, x, y), "--changes", str(HLS_CHANGES), "--settle-ms",
                                  str(int(SETTLE * 1000)), "http://%s%s" % (service.address, paths[-1])],
                                 env=dict(desktop.env, HOME=work), stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, timeout=600).stdout.decode()
            for line in out.splitlines():
                f = line.split()
                if len(f) >= 6 and f[0] == "change" and int(f[4]) >= 0:
                    base.append(int(f[4]) / 1000)
    finally:
        if client is not None:
            client.end()
        service.close()
    return changes, base


def largest_channel_list(tvservice, work):
    """Stand-in data whose channelslist response is exactly 32000 bytes."""
    public = "tv.example.bg:8080"
    price, lock = "10 мин", "0"
    records, size, n = [], 0, 0
    while True:
        cid = str(1000 + n)
        name = "Канал %d" % (1000 + n)
        fields = [cid, name, public + "/live?ch=" + cid, price, lock]
        rec = len("\x01".join(fields).encode()) + (1 if records else 0)
        if size + rec > 32000:
            break
        records.append(fields)
        size += rec
        n += 1
    # The last name takes up the rest, in whole two-byte letters and a space.
    short = 32000 - size
    last = records[-1]
    last[1] += " " * (short % 2) + "я" * (short // 2)
    data = os.path.join(work, "largest.yaml")
    with open(data, "w") as f:
        f.write('charge: "0.01"\naccounts:\n  - {user: %s, password: "%s", uid: "1", first_name: А, '
                'last_name: Б, credit: "1.00"}\nchannels:\n' % (USER, PASSWORD))
        for cid, name, _, p, lk in records:
            f.write('  - {id: "%s", name: "%s", price: "%s", lock: "%s", genre: news, pattern: testsrc, tone: 440}\n'
                    % (cid, name, p, lk))
    return Service(tvservice, data, os.path.join(work, "largest"), ["--public", public]), len(records)


def measure_fill(tvservice, desktop, work):
    service, records = largest_channel_list(tvservice, work)
    try:
        env = dict(desktop.env, TVCLIENT_SERVICE=service.address, TVCLIENT_BUILD_DIR=WINE_BUILD)
        out = subprocess.run([C.WINERUN, os.path.join(WINE_BUILD, "fill_bench.exe"), USER, PASSWORD, str(FILLS)],
                             env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=300).stdout.decode()
    finally:
        service.close()
    runs = []
    for line in out.splitlines():
        f = line.split()
        if len(f) == 7 and f[0] == "fill":
            runs.append({"bytes": int(f[2]), "rows": int(f[3]), "exchange": int(f[4]) / 1000,
                         "fill": int(f[5]) / 1000, "paint": int(f[6]) / 1000})
    return runs, records


def relay_road(service, desktop, channel_id):
    """relay_bench: a channel's first 16 KiB fetched RELAY_FETCHES times
    through the relay and as many straight from the host, no player, one
    after the other. {mode: (median ms, memory growth per fetch in KiB from
    the 50th)}."""
    found = {}
    for mode in ("relay", "direct"):
        env = dict(desktop.env, TVCLIENT_SERVICE=service.address, TVCLIENT_BUILD_DIR=WINE_BUILD)
        out = subprocess.run([C.WINERUN, os.path.join(WINE_BUILD, "relay_bench.exe"), USER, PASSWORD, channel_id,
                              str(RELAY_FETCHES), mode], env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             timeout=600).stdout.decode()
        took, rss = [], {}
        for line in out.splitlines():
            f = line.split()
            if len(f) == 3 and f[0] == "fetch" and int(f[2]) >= 0:
                took.append(int(f[2]) / 1000)
            elif len(f) == 3 and f[0] == "rss":
                rss[int(f[1])] = int(f[2])
        last = max(rss) if rss else 0
        growth = (rss[last] - rss[50]) / (last - 50) if 50 in rss and last > 50 else float("nan")
        found[mode] = (median(took) if took else float("nan"), growth)
    return found


def verdict(ok):
    return "met" if ok else "MISSED"


def report(r):
    """The table on the terminal and results.csv."""
    rows = []

    def row(measure, client, baseline="", ratio="", target="", result=""):
        rows.append([measure, client, baseline, ratio, target, result])

    c, b = r["timed"], r["base"]
    ct, bt = [x["total"] for x in c], [x["total"] for x in b]
    cm, bm = median(ct), median(bt)
    row("channel change, median (ms)", "%.0f" % cm, "%.0f" % bm, "%.2f" % (cm / bm), "< 500, ratio <= 1.20",
        verdict(cm < 500 and cm / bm <= 1.20))
    row("channel change, p90 (ms)", "%.0f" % percentile(ct, 90), "%.0f" % percentile(bt, 90),
        "%.2f" % (percentile(ct, 90) / percentile(bt, 90)), "< 1000", verdict(percentile(ct, 90) < 1000))
    row("channel change, max (ms)", "%.0f" % max(ct), "%.0f" % max(bt), "%.2f" % (max(ct) / max(bt)))
    program, player = median([x["program"] for x in c]), median([x["player"] for x in c])
    row("  the program's part: keepsession, guide, row and address, to the stream's start, median (ms)",
        "%.1f" % program, "-", "%.2f" % (program / bm), "<= 0.15 of the baseline's change",
        verdict(program <= 0.15 * bm))
    row("  the player's part: from the stream's start to the picture, through the relay, median (ms)",
        "%.1f" % player, "%.0f" % bm, "%.2f" % (player / bm), "ratio <= 1.10", verdict(player / bm <= 1.10))
    row("  keepsession answer taken, from the key, beside the player's start, median (ms)",
        "%.1f" % median([x["keepsession"] for x in c]), "-")
    row("  then the epg answer and the guide's fill, median (ms)", "%.1f + %.1f" % (
        median([x["epg_exchange"] for x in c]), median([x["epg"] - x["epg_exchange"] for x in c])), "-")
    row("  stream open, median (ms)", "%.1f" % median([x["open"] for x in c]),
        "%.1f" % median([x["open"] for x in b]))
    row("    libvlc's stop and play calls, of which ending the relay's requests, median (ms)", "%.1f, %.1f" % (
        median([x["stop_and_play_calls"] for x in c]), median([x["ending"] for x in c])), "-")
    row("    the relay: from play to the player's connection, its request, the host connected, its answer, "
        "the first bytes passed on (ms)",
        " / ".join("%.1f" % median([x["relay"][k] for x in c]) for k in range(5)), "-")
    row("  first picture, median (ms)", "%.1f" % median([x["picture"] for x in c]),
        "%.1f" % median([x["picture"] for x in b]))
    row("  picture moving (first time-changed), median (ms)", "%.0f" % median([x["moving"] for x in c]),
        "%.0f" % median([x["moving"] for x in b]))
    row("picture on screen (pixels read back), median / p90 (ms)",
        "%.0f / %.0f" % (median([x["pixels"] for x in c]), percentile([x["pixels"] for x in c], 90)),
        "%.0f / %.0f" % (median([x["pixels"] for x in b]), percentile([x["pixels"] for x in b], 90)),
        "%.2f" % (median([x["pixels"] for x in c]) / median([x["pixels"] for x in b])))
    rapid = [x["total"] for x in r["rapid"]]
    if rapid:
        row("channel change while zapping fast, median / p90 (ms)",
            "%.0f / %.0f" % (median(rapid), percentile(rapid, 90)), "-")
    row("channel changes measured / failed", "%d / %d" % (len(c) + len(r["rapid"]), r["zap_failures"]),
        "%d / %d" % (len(b), r["base_failures"]))
    s = r["starts"]
    row("start-up, login button to table filled, median (ms)", "%.1f" % median([x["total"] for x in s]))
    row("  exchanges and table fill, median (ms)", "%.1f" % median([x["exchanges_and_fill"] for x in s]),
        "", "", "< 100", verdict(median([x["exchanges_and_fill"] for x in s]) < 100))
    row("  the player (libvlc_new and its media player), median (ms)", "%.1f" % median([x["player"] for x in s]))
    row("  the video window and the panels, median (ms)", "%.1f" % median([x["windows"] for x in s]))
    rss = dict(r["rss"])
    first, last = rss.get(10, 0), rss.get(CHANGES, 0)
    growth = (last - first) / max(1, CHANGES - 10)
    row("resident memory after 10 changes (KiB)", "%d" % first)
    row("resident memory after %d changes (KiB)" % CHANGES, "%d" % last)
    br = r["base_rss"]
    row("resident memory after 10 / %d changes (KiB)" % TIMED, "%d / %d" % (first, rss.get(TIMED, 0)),
        "%d / %d" % (br.get(10, 0), br.get(TIMED, 0)))
    row("memory growth per change, 10 to %d (KiB)" % CHANGES, "%.2f" % growth, "", "", "< 10", verdict(growth < 10))
    steady = (last - rss.get(100, first)) / max(1, CHANGES - 100)
    base_steady = ""
    brl = r["base_long_rss"]
    if CHANGES in brl and 100 in brl:
        base_steady = "%.2f" % ((brl[CHANGES] - brl[100]) / max(1, CHANGES - 100))
    row("memory growth per change, 100 to %d (KiB)" % CHANGES, "%.2f" % steady, base_steady)
    f = r["fills"]
    if f:
        row("table fill from a %d-byte channelslist (%d rows), median (ms)" % (f[0]["bytes"], f[0]["rows"]),
            "%.1f" % median([x["fill"] for x in f]))
        row("  its exchange / its first paint, median (ms)", "%.1f / %.1f" % (
            median([x["exchange"] for x in f]), median([x["paint"] for x in f])))
    open_and_picture = median([x["open"] + x["picture"] for x in c])
    base_open_and_picture = median([x["open"] + x["picture"] for x in b])
    ratio = open_and_picture / base_open_and_picture
    row("stream open and first picture, median (ms)", "%.1f" % open_and_picture, "%.1f" % base_open_and_picture,
        "%.2f" % ratio, "ratio <= 1.10", verdict(ratio <= 1.10))
    cpu_ratio = r["cpu"] / r["base_cpu"] if r["base_cpu"] > 0 else float("nan")
    row("CPU time per minute of playing (s)", "%.2f" % r["cpu"], "%.2f" % r["base_cpu"], "%.2f" % cpu_ratio,
        "ratio <= 1.05", verdict(cpu_ratio <= 1.05))
    row("  of which the relay's threads (s)", "%.2f" % r["relay_cpu"])
    row("  Wine's server meanwhile (s)", "%.2f" % r["wineserver_cpu"])
    row("memory growth per change from the 100th (KiB)", "%.2f" % steady, "", "", "< 2", verdict(steady < 2))
    road = r.get("road")
    if road:
        row("the relay's own road, no player: first 16 KiB through it / from the host, median (ms)",
            "%.1f / %.1f" % (road["relay"][0], road["direct"][0]), "", "%.2f" % (road["relay"][0] / road["direct"][0]))
        row("  memory growth per fetch from the 50th, through it / from the host (KiB)",
            "%.2f / %.2f" % (road["relay"][1], road["direct"][1]))
    hc, hb = r.get("hls", ([], []))
    if hc and hb:
        row("HLS channel change, median (ms)", "%.0f" % median(hc), "%.0f" % median(hb),
            "%.2f" % (median(hc) / median(hb)))

    head = ["measure", "tvclient", "baseline", "ratio", "target", "result"]
    widths = [max(len(str(x[i])) for x in rows + [head]) for i in range(len(head))]
    line = "  ".join("%-*s" % (widths[i], head[i]) for i in range(len(head)))
    print()
    kind = "broadcast-like (H.264 1080i, 6 Mbit/s)" if r["stream"] == "broadcast" else "small (MPEG-2 640x360)"
    print("line: %s; channels: %s" % (r["line"], kind))
    print(line)
    print("-" * len(line))
    for x in rows:
        print("  ".join("%-*s" % (widths[i], x[i]) for i in range(len(head))))
    print()
    with open(os.path.join(OUT, "results.csv"), "w", newline="") as out:
        w = csv.writer(out)
        w.writerow(head)
        w.writerows(rows)


def write_series(r):
    with open(os.path.join(OUT, "changes.csv"), "w", newline="") as out:
        w = csv.writer(out)
        w.writerow(["program", "change", "total_ms", "keepsession_ms", "epg_ms", "open_ms", "picture_ms",
                    "moving_ms", "on_screen_ms"])
        for n, x in enumerate(r["timed"] + r["rapid"], 1):
            w.writerow(["tvclient", n] + ["%.2f" % x[k] for k in
                                          ("total", "keepsession", "epg", "open", "picture", "moving", "pixels")])
        for n, x in enumerate(r["base"], 1):
            w.writerow(["baseline", n, "%.2f" % x["total"], "", "", "%.2f" % x["open"], "%.2f" % x["picture"],
                        "%.2f" % x["moving"], "%.2f" % x["pixels"]])
    with open(os.path.join(OUT, "memory.csv"), "w", newline="") as out:
        w = csv.writer(out)
        w.writerow(["changes", "rss_kib"])
        w.writerows(r["rss"])
    # Sorted change times of both programs, for the chart.
    series = (("client", [x["total"] for x in r["timed"]]), ("baseline", [x["total"] for x in r["base"]]),
              ("client-screen", [x["pixels"] for x in r["timed"] if x["pixels"] == x["pixels"]]),
              ("baseline-screen", [x["pixels"] for x in r["base"] if x["pixels"] == x["pixels"]]))
    for name, values in series:
        with open(os.path.join(OUT, "sorted-%s.dat" % name), "w") as out:
            for i, v in enumerate(sorted(values), 1):
                out.write("%.4f %.2f\n" % (i / len(values), v))


def chart():
    result = subprocess.run(["gnuplot", "-e", "out='%s'" % OUT, os.path.join(HERE, "bench.gp")],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if result.returncode != 0:
        say("the chart could not be drawn: " + result.stderr.decode(errors="replace").strip())
    else:
        say("table, CSV and chart in %s" % OUT)


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    tools = sys.argv[1]
    tvservice, baseline = os.path.join(tools, "tvservice"), os.path.join(tools, "vlc_baseline")
    watcher_program = os.path.join(tools, "pixel_watch")
    os.makedirs(OUT, exist_ok=True)
    work = tempfile.mkdtemp(prefix="tvclient-bench.")
    started = time.time()
    desktop = D.Desktop()
    data = os.path.join(HERE, "bench-broadcast.yaml" if STREAM == "broadcast" else "bench.yaml")
    line_port = free_port() if LINE else None
    service = Service(tvservice, data, os.path.join(work, "service"),
                      ["--on-air"] + (["--public", "127.0.0.1:%d" % line_port] if LINE else []))
    line = start_line(tools, LINE, service, line_port) if LINE else None
    r = {"line": LINE or "loopback", "stream": STREAM}
    client = None
    try:
        C.remember_login(desktop.env, USER, PASSWORD)
        r["starts"], client = measure_startups(desktop, service, work)
        geometry = client.focus_video()
        # The overlays hide once the mouse has rested.
        time.sleep(7)
        r["rss"] = []
        watcher = watch_pixels(watcher_program, desktop, geometry)
        r["timed"], r["rapid"], r["zap_failures"] = zap(client, r["rss"], watcher)
        say("channel change: median %.0f ms over %d timed changes" % (
            median([x["total"] for x in r["timed"]]), len(r["timed"])))
        time.sleep(3)
        server = wineserver_pid()
        server_start = process_ticks(server) if server else 0
        relay_start = threads_ticks(client.pid, "relay")
        r["cpu"] = cpu_per_minute(client.pid, CPU_SECONDS)
        r["relay_cpu"] = (threads_ticks(client.pid, "relay") - relay_start) / CLOCK_TICK * 60 / CPU_SECONDS
        r["wineserver_cpu"] = ((process_ticks(server) - server_start) / CLOCK_TICK * 60 / CPU_SECONDS
                               if server else float("nan"))
        say("playback cost: %.2f s of CPU a minute" % r["cpu"])
        client.end()
        client = None
        # The same streams, with the session the client opened them with.
        urls = ["http://%s%s" % (service.address, p) for p in service.stream_paths()]
        playing_last = service.last_stream_path()
        if playing_last is not None:
            # The playback cost is measured on the channel the client played last.
            last = "http://%s%s" % (service.address, playing_last)
            urls.remove(last)
            urls.insert(0, last)
        (r["base"], r["base_failures"], r["base_cpu"], r["base_rss"],
         r["base_long_rss"]) = run_baseline(baseline, desktop, geometry, urls, work)
        say("baseline: median %.0f ms over %d changes" % (median([x["total"] for x in r["base"]]), len(r["base"])))
        channel_id = urls[0].split("ch=")[1].split("&")[0]
        r["road"] = relay_road(service, desktop, channel_id)
        say("the relay's own road: %.1f ms, straight %.1f ms" % (r["road"]["relay"][0], r["road"]["direct"][0]))
        r["hls"] = hls_changes(desktop, tvservice, work)
        say("HLS channel: %d changes, %d of the baseline's" % (len(r["hls"][0]), len(r["hls"][1])))
        r["fills"], records = measure_fill(tvservice, desktop, work)
        say("largest channel list: %d records" % records)
    finally:
        if client is not None:
            client.end()
        service.close()
        if line is not None:
            line.kill()
        C.forget_login(desktop.env)
        desktop.close()
    write_series(r)
    report(r)
    chart()
    say("%.1f minutes" % ((time.time() - started) / 60))
    return 0


if __name__ == "__main__":
    sys.exit(main())
