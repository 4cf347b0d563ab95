#!/usr/bin/python3
"""A subscriber's evening with tvclient, driven from outside the program.

Starts the stand-in service with tests/e2e/e2e.yaml on a free loopback port
and the client through scripts/tvclient on an Xvfb display of its own, then
acts only as a person would: key presses, mouse movements and clicks with
xdotool. It reads only what a person or the operator could see: the screen,
window titles and places, the registry of the Wine prefix and the stand-in's
request log. Screenshots of the main steps are kept in build/e2e/.

Usage: python3 -m tests.e2e.journey TVSERVICE-PROGRAM [--shots-only DIR]
"""

import os
import re
import shutil
import sys
import tempfile
import time

from tests.e2e.client import Client, forget_login, registry
from tests.e2e.desktop import Desktop, Service, StepFailed, check

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# The Windows program's journey (TVCLIENT_BUILD=mingw) keeps its own.
ARTEFACTS = os.path.join(ROOT, "build", "e2e-mingw" if os.environ.get("TVCLIENT_BUILD") == "mingw" else "e2e")


def req(service, body):
    return "GET http://%s/socket_server/server.php?input=%s\\x0d\\x0a" % (service.address, body)


def user_body(user, password, rest):
    return "user\\x01%s\\x01pass\\x01%s\\x01%s" % (user, password, rest)


class Journey:
    def __init__(self, desktop, service):
        self.d = desktop
        self.s = service
        self.client = None
        self.sid = None
        # Whether the keys have left the picture (a panel was shown or
        # clicked, the desktop was clicked): a subscriber clicks the picture
        # once before the next key, and only then.
        self.keys_elsewhere = True

    # Where things are on the screen.
    def video(self):
        wid = self.d.find("play", 5)
        check(wid is not None, "the video window is on the screen")
        return self.d.geometry(wid)

    def program_panel(self):
        wid = self.d.find("Program", 2)
        if wid is None:
            self.press("l")  # the panel takes the keyboard when it is shown
            self.keys_elsewhere = True
            wid = self.d.find("Program", 5)
        check(wid is not None, "the program panel is on the screen")
        return self.d.geometry(wid)

    def focus_video(self):
        self.client.focus_video()
        self.keys_elsewhere = False

    def press(self, *keys):
        """Keys as a subscriber types them: the picture is clicked first only
        when the keys have gone elsewhere."""
        if self.keys_elsewhere:
            self.focus_video()
        self.d.key(*keys)

    def blue_row(self, shot):
        """The index of the highlighted row of the channel table, by colour."""
        x, y, w, h = self.program_panel()
        colours = self.d.column(shot, x + 26, y, h)
        runs, start = [], None
        for i, c in enumerate(colours + ["END"]):
            if c == "0000FF" and start is None:
                start = i
            elif c != "0000FF" and start is not None:
                runs.append((start, i))
                start = None
        return runs

    def rows_top(self, shot):
        """Top of the channel table's first row and the row height, from the
        black rows drawn under the blue one."""
        x, y, w, h = self.program_panel()
        colours = self.d.column(shot, x + 26, y, h)
        painted = [i for i, c in enumerate(colours) if c in ("0000FF", "000000")]
        return painted

    def started(self, mark, channel_id, timeout=8.0):
        line = "GET /live?ch=%s&sid=%s&channelid=%s HTTP/1.1" % (channel_id, self.sid, channel_id)
        return self.s.wait_for(mark, line, timeout)

    def picture_moves(self):
        x, y, w, h = self.video()
        a = self.d.shot(os.path.join(ARTEFACTS, "tmp-a.png"))
        first = self.d.digest(a, x + 20, y + 20, w - 40, h - 60)
        mean = self.d.mean(a, x, y, w, h)
        time.sleep(1.2)
        b = self.d.shot(os.path.join(ARTEFACTS, "tmp-b.png"))
        return mean > 0.08 and first != self.d.digest(b, x + 20, y + 20, w - 40, h - 60)

    def wait_picture(self, timeout=12.0):
        until = time.time() + timeout
        while time.time() < until:
            if self.picture_moves():
                return True
        return False

    # The steps.
    def step1_first_start_wrong_password(self):
        self.client = Client(self.d, self.s)
        login = self.d.find("Login", 40)
        check(login is not None, "the login dialog appears")
        time.sleep(0.5)
        self.first_login_shot = self.d.shot(os.path.join(ARTEFACTS, "step1-login.png"))
        self.login_geometry = self.d.geometry(login)
        check(registry("isRem", self.d.env) == "0", "a first start stores isRem as 0")
        self.d.type("petar")
        self.d.key("Tab")
        self.d.type("wrong")
        self.d.key("Return")
        box = self.d.find("Внимание възникнал е проблем!", 10)
        check(box is not None, "a wrong password shows 'Невалиден потребител или парола!'")
        self.d.key("Return")
        check(self.client.wait(20) == 0, "the program ends with exit code 0 after a refused login")

    def step2_second_start_logs_in(self):
        mark = len(self.s.lines())
        self.client = Client(self.d, self.s)
        check(self.d.find("Login", 40) is not None, "the login dialog appears again")
        time.sleep(0.5)
        self.d.type("petar")
        self.d.key("Tab")
        self.d.type("s3cret")
        self.d.key("Tab", "space", "Return")
        check(self.d.find("play", 15) is not None, "the video window appears after the login")
        check(self.d.find("Program", 5) is not None, "the program panel appears")
        time.sleep(1.0)
        self.d.shot(os.path.join(ARTEFACTS, "step2-started.png"))
        lines = self.s.lines()[mark:]
        body = "petar\\x01pass\\x01s3cret"
        expected = [req(self.s, "version"),
                    req(self.s, "user\\x01" + body + "\\x01account\\x01info"),
                    req(self.s, "user\\x01" + body + "\\x01shares\\x01info"),
                    req(self.s, "user\\x01" + body + "\\x01channelslist\\x01info")]
        check(lines[:4] == expected, "the first four requests are exactly as specified: %s" % lines[:4])
        check(registry("isRem", self.d.env) == "1", "the ticked box is stored")
        m = re.search(r"keepsession", "")  # the session id comes with the first keep-alive
        del m

    def step3_double_click_plays(self):
        shot = self.d.shot(os.path.join(ARTEFACTS, "tmp-table.png"))
        blue = self.blue_row(shot)
        check(len(blue) == 1, "row 0 is drawn blue before anything plays")
        top, bottom = blue[0]
        self.row_height = bottom - top
        self.row0_top = top
        x, y, w, h = self.program_panel()
        self.table_x = x + 60
        mark = len(self.s.lines())
        row = 1
        self.d.click(self.table_x, y + top + row * self.row_height + self.row_height // 2, repeat=2)
        self.keys_elsewhere = True
        keep = self.s.wait_for(mark, "\\x01keepsession\\x01", 8)
        check(keep is not None, "a double-click sends the keep-alive")
        self.sid = re.search(r"keepsession\\x01([0-9a-f]+)\\x01seederid\\x01501", keep).group(1)
        check(self.started(mark, "202") is not None, "the stream of the double-clicked row is requested")
        lines = self.s.lines()[mark:]
        epg = [i for i, l in enumerate(lines) if "\\x01epg\\x01202" in l]
        keeps = [i for i, l in enumerate(lines) if "keepsession" in l]
        check(len(epg) == 1 and epg[0] < keeps[0], "the guide was loaded once, when the row was selected")
        check(self.wait_picture(), "a moving picture appears in the video window")
        vx, vy, vw, vh = self.video()
        self.d.move(vx + 3, vy + 3)
        self.d.move(vx + 4, vy + 3)
        time.sleep(0.5)
        shot = self.d.shot(os.path.join(ARTEFACTS, "step3-watching.png"))
        check(self.d.mean(shot, vx + 12, vy + 12, 200, 30) > 0.01, "the info panel shows the channel's name")

    def expect_blue(self, row, what):
        self.program_panel()
        time.sleep(0.3)
        shot = self.d.shot(os.path.join(ARTEFACTS, "tmp-blue.png"))
        blue = self.blue_row(shot)
        check(len(blue) == 1 and abs(blue[0][0] - (self.row0_top + row * self.row_height)) <= 2,
              "%s: the blue row is row %d (found %s)" % (what, row, blue))

    def step4_arrow_keys(self):
        # The table holds 201..205 in rows 0..4; row 3 (204) is locked.
        for key, row, channel in (("Right", 2, "203"), ("Left", 1, "202"), ("Home", 0, "201"), ("End", 4, "205"),
                                  ("Right", 0, "201")):
            mark = len(self.s.lines())
            self.press(key)
            check(self.started(mark, channel) is not None, "%s starts channel %s" % (key, channel))
            self.expect_blue(row, key)

    def step5_locked_channel(self):
        self.press("End")  # row 4, 205
        mark = len(self.s.lines())
        self.press("Left")  # row 3, the locked one
        dialog = self.d.find("Родителски контрол", 10)
        check(dialog is not None, "the parental code dialog appears")
        self.d.shot(os.path.join(ARTEFACTS, "step5-lock.png"))
        self.d.type("1111")
        self.d.key("Return")
        check(self.d.gone("Родителски контрол", 5), "the dialog closes")
        time.sleep(1.0)
        check(not any("GET /live" in line for line in self.s.lines()[mark:]), "a wrong code starts nothing")
        self.expect_blue(4, "after a wrong code the previous channel stays")
        check(self.picture_moves(), "the previous channel goes on playing")
        # The dialog gave the keyboard back to the picture.
        mark = len(self.s.lines())
        self.press("Left")
        check(self.d.find("Родителски контрол", 10) is not None, "the dialog appears again")
        self.d.type("2468")
        self.d.key("Return")
        check(self.started(mark, "204") is not None, "the right code plays the locked channel")
        self.expect_blue(3, "after the right code")

    def menu_check_column(self, item):
        """Opens the context menu on the video window and returns the colours
        of the check-mark column of one item, then closes the menu."""
        x, y, w, h = self.video()
        self.d.click(x + 3, y + 3, button=3)
        time.sleep(0.6)
        shot = self.d.shot(os.path.join(ARTEFACTS, "tmp-menu.png"))
        # A click on the empty desktop closes the menu (a key would reach the
        # video window if the menu had closed already).
        self.d.click(5, 795)
        self.keys_elsewhere = True
        time.sleep(0.3)
        # The menu opens at the pointer; each item is one line of the menu font.
        column = self.d.column(shot, x + 3 + 8, y + 3 + 2, 19 * 9)
        line = len(column) // 9
        return column[item * line:(item + 1) * line]

    def step6_sound_and_picture_settings(self):
        self.press("Up", "Up", "Down", "m")
        before = self.menu_check_column(1)
        x, y, w, h = self.video()
        self.d.click(x + 3, y + 3, button=3)
        time.sleep(0.5)
        self.d.key("Down", "Down", "Return")  # "Без звук"
        time.sleep(0.3)
        after = self.menu_check_column(1)
        check(before != after, "'Без звук' from the menu puts its check mark on")
        always = self.menu_check_column(0)
        check(always != before, "'Винаги отгоре' carries a check mark")

    def exit_cross_shown(self, shot):
        """The exit button's red cross, at its place by the top right corner."""
        x, y, w, h = self.video()
        return self.d.red_pixels(shot, x + w - 35, y + 5, 40, 40) > 20

    def wait_overlays(self, shown, timeout):
        until = time.time() + timeout
        while time.time() < until:
            shot = self.d.shot(os.path.join(ARTEFACTS, "tmp-overlays.png"))
            if self.exit_cross_shown(shot) == shown:
                return shot
            time.sleep(0.3)
        return None

    def step7_mouse_rests(self):
        # The menu was closed on the desktop: the subscriber clicks the
        # picture, and from here on only moves the mouse and types.
        self.focus_video()
        x, y, w, h = self.video()
        # After a rest the next movement maps the overlays again, on top.
        self.d.move(x + 6, y + 3)
        time.sleep(7.0)
        self.d.move(x + 5, y + 4)
        shown = self.wait_overlays(True, 2)
        check(shown is not None, "a movement over the picture shows the overlays")
        shutil.copy(shown, os.path.join(ARTEFACTS, "step7-overlays.png"))
        time.sleep(7.0)
        rested = self.d.shot(os.path.join(ARTEFACTS, "step7-rested.png"))
        check(not self.exit_cross_shown(rested), "after 7 seconds of rest the overlays are gone")
        check(self.picture_moves(), "the picture alone goes on")
        self.d.move(x + 4, y + 4)
        check(self.wait_overlays(True, 2) is not None, "a small movement brings them back")

    def step8_fullscreen(self):
        # The mouse has rested and moved (step 7): the overlays came back and
        # the keys stayed with the picture.
        check(not self.keys_elsewhere, "no click since the picture was clicked")
        self.d.key("f")
        time.sleep(1.5)
        x, y, w, h = self.video()
        check(w >= 1200 and h >= 700, "F makes the window fill the screen (%dx%d)" % (w, h))
        shot = self.d.shot(os.path.join(ARTEFACTS, "step8-fullscreen.png"))
        check(self.d.mean(shot, 200, 200, 880, 400) > 0.08, "the picture fills the screen")
        self.d.key("Escape")
        time.sleep(1.0)
        x, y, w, h = self.video()
        check(w < 1000, "Esc returns to the window")
        check(self.d.find("Внимание!!!", 1) is None, "Esc in fullscreen asks nothing")
        self.press("Escape")
        box = self.d.find("Внимание!!!", 5)
        check(box is not None, "Esc again asks 'Изход от системата?'")
        self.d.key("Tab", "Return")  # "No"
        check(self.d.gone("Внимание!!!", 5), "the question closes")
        time.sleep(0.5)
        check(self.client.process.poll() is None, "No keeps the program running")

    def step9_stalled_stream(self):
        self.s.faults("stream=stall:2")
        mark = len(self.s.lines())
        self.press("Home")  # the question's No gave the keyboard back to the picture
        check(self.started(mark, "201") is not None, "Home starts channel 201")
        time.sleep(3)
        self.s.faults("")
        until = time.time() + 25
        again = 0
        while time.time() < until:
            again = sum(1 for line in self.s.lines()[mark:] if "GET /live?ch=201" in line)
            if again >= 2:
                break
            time.sleep(0.5)
        check(again >= 2, "the stalled stream is requested again")
        check(self.wait_picture(15), "the picture moves again")

    def step10_out_of_credit(self):
        self.press("u")
        panel = self.d.find("User", 5)
        check(panel is not None, "U shows the user panel")
        x, y, w, h = self.d.geometry(panel)
        self.d.click(x + w // 2, y + 8)  # its caption: the account list takes the focus
        self.d.key("Down", "Down")  # 503 Емил Панов, no credit
        self.keys_elsewhere = True
        self.press("Right")
        box = self.d.find("ТВ ЗЕЛУР", 10)
        check(box is not None, "'Недостатъчен кредит!' appears")
        check(any("seederid\\x01503" in line for line in self.s.lines()), "the keep-alive names the chosen account")
        # The minute's keep-alive may refuse the account once more meanwhile,
        # with a message of its own: each is answered.
        for _ in range(4):
            if self.d.find("ТВ ЗЕЛУР", 1) is None:
                break
            self.d.key("Return")
            time.sleep(0.5)
        check(self.d.gone("ТВ ЗЕЛУР", 5), "the message closes")

    def step11_third_start(self):
        self.client.kill()
        self.client.wait_for_wine()
        self.client = Client(self.d, self.s)
        login = self.d.find("Login", 40)
        check(login is not None, "the login dialog appears on the third start")
        time.sleep(0.5)
        shot = self.d.shot(os.path.join(ARTEFACTS, "step11-login.png"))
        x, y, w, h = self.login_geometry
        check(self.d.digest(shot, x, y, w, h) != self.d.digest(self.first_login_shot, x, y, w, h),
              "the box is ticked and the fields filled")
        check(registry("a_user", self.d.env) == "petar" and registry("a_pass", self.d.env) == "s3cret",
              "the registry holds the user name and password")
        self.d.key("Return")
        check(self.d.find("play", 15) is not None, "the remembered credentials log in")
        time.sleep(1)
        self.keys_elsewhere = True  # the program panel, shown last, has them
        self.press("Escape")
        check(self.d.find("Внимание!!!", 5) is not None, "Esc asks before ending")
        self.d.key("Return")  # "Yes"
        check(self.client.wait(20) == 0, "Esc, Yes ends the program with exit code 0")


STEPS = [
    ("1. first start, wrong password", Journey.step1_first_start_wrong_password),
    ("2. second start, remember me, log in", Journey.step2_second_start_logs_in),
    ("3. double-click a row: a moving picture", Journey.step3_double_click_plays),
    ("4. Right, Left, Home, End: the channels and the blue row", Journey.step4_arrow_keys),
    ("5. a locked channel: wrong code, right code", Journey.step5_locked_channel),
    ("6. volume, mute and the menu's check marks", Journey.step6_sound_and_picture_settings),
    ("7. the mouse rests: the overlays go and come back", Journey.step7_mouse_rests),
    ("8. fullscreen, Esc, Esc and No", Journey.step8_fullscreen),
    ("9. a stalled stream comes back by itself", Journey.step9_stalled_stream),
    ("10. an account without credit", Journey.step10_out_of_credit),
    ("11. third start: remembered; Esc, Yes ends it", Journey.step11_third_start),
]


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    tvservice = sys.argv[1]
    os.makedirs(ARTEFACTS, exist_ok=True)
    for old in os.listdir(ARTEFACTS):
        if old.endswith(".png"):
            os.remove(os.path.join(ARTEFACTS, old))
    work = tempfile.mkdtemp(prefix="tvclient-e2e.")
    desktop = Desktop()
    service = Service(tvservice, os.path.join(ROOT, "tests", "e2e", "e2e.yaml"), work)
    forget_login(desktop.env)
    journey = Journey(desktop, service)
    failed = None
    started = time.time()
    try:
        for name, step in STEPS:
            t = time.time()
            try:
                step(journey)
                print("PASS  %-60s %5.1f s" % (name, time.time() - t), flush=True)
            except StepFailed as e:
                failed = name
                print("FAIL  %-60s %5.1f s\n      %s" % (name, time.time() - t, e), flush=True)
                desktop.shot(os.path.join(ARTEFACTS, "failure.png"))
                print("      windows on the screen: %s" % sorted(set(desktop.windows().values())), flush=True)
                client = journey.client
                if client is not None:
                    print("      the client: launcher %s, its Wine process %s" % (
                        "running" if client.process.poll() is None else "ended (%s)" % client.process.poll(),
                        client.pid), flush=True)
                print("      the service's last requests: %s" % service.lines()[-3:], flush=True)
                if client is not None:
                    print("      the client said:\n        %s" % "\n        ".join(client.said()), flush=True)
                break
    finally:
        if journey.client:
            journey.client.kill()
        service.close()
        desktop.close()
        shutil.rmtree(work, ignore_errors=True)
        for tmp in os.listdir(ARTEFACTS):
            if tmp.startswith("tmp-") and not os.environ.get("E2E_KEEP"):
                os.remove(os.path.join(ARTEFACTS, tmp))
    print("%d of %d steps passed in %.0f s; screenshots in %s" % (
        len(STEPS) if failed is None else [n for n, _ in STEPS].index(failed), len(STEPS),
        time.time() - started, ARTEFACTS))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
