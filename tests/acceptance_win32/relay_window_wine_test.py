#!/usr/bin/env python3
"""brindle.exe under Wine, in a Wine virtual desktop on Xvfb, driven from the keyboard as a person
would: the About box through the system menu, then curl relayed to python's http.server with both
"Auto" boxes ticked (a 4 MiB binary byte-exact), then an exchange by hand with the two "Send"
buttons, then a traffic view: a selection inside a line, find, and Copy from its context menu; then
what a screen reader in another process reads of the window (PROBE_EXE). The
keyboard model, peers and checks are the Linux acceptance test's.

Usage: relay_window_wine_test.py BRINDLE_EXE WORK_DIR WINE WINESERVER PROBE_EXE

Exits 77 (skipped) when Xvfb, xdotool, xclip, Wine, curl or ImageMagick is missing. Leaves the window's
screenshot in WORK_DIR/screenshot-windows.png, and also at $BRINDLE_SCREENSHOT when that is set
(the README's picture: BRINDLE_SCREENSHOT=$PWD/docs/screenshot-windows.png ctest -L acceptance).
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "acceptance"))
import relay_window_test as common  # noqa: E402

from relay_window_test import Failure, log, wait_for  # noqa: E402

# Wine's start-up and its prefix take their share of the budget.
common.TEST_BUDGET_S = 240
DESKTOP = "brindle,1024x768"
# What a screen reader must read, through MSAA from another process: (control id, name, role, a
# state bit it must have). Roles: 42 text; Wine 8 calls buttons and static texts "client" (10).
READ_ONLY = 0x40
MSAA_EXPECTED = [
    (1012, "Local Client (to remote server)", 42, READ_ONLY),
    (1013, "Local Server (to remote client)", 42, READ_ONLY),
    (1022, "Local Client Sent bytes", 42, READ_ONLY),
    (1029, "Local Server Received bytes", 42, READ_ONLY),
    (1015, "Local Server Auto", None, 0),
    (1010, "Local Client Send", None, 0),
    (1027, "Local Server Disconnect", None, 0),
    (1019, "Connect", None, 0),
]
# And through UI Automation's client side: the views as named documents (control type 50030).
TEXT_EXPECTED = [(1012, "GET /"), (1013, "HTTP/1.0 200")]
UIA_EXPECTED = [(1012, "Local Client (to remote server)", 50030), (1013, "Local Server (to remote client)", 50030)]
# Pixels that change below the caption when the About box opens (about 8500: its texts, icon and
# frame on the dialog's own grey); a closed box leaves none.
ABOUT_BOX_PIXELS = 5000


def differing_pixels(display, first, second):
    """Below the main window's caption, whose colour follows the activation alone."""
    below_caption = "[1024x744+0+24]"
    result = subprocess.run(["compare", "-metric", "AE", first + below_caption, second + below_caption, "null:"],
                            env=display.env,
                            capture_output=True, text=True, timeout=30)
    try:
        return int(float(result.stderr.split()[0]))
    except (IndexError, ValueError):
        raise Failure(f"could not compare {first} and {second}: {result.stderr.strip()}")


def changed_area(display, first, second):
    """Width and height of the smallest rectangle holding every pixel that differs."""
    result = subprocess.run(["convert", first, second, "-compose", "difference", "-composite", "-format", "%@",
                             "info:"], env=display.env, capture_output=True, text=True, timeout=30)
    size = result.stdout.strip().split("+")[0]
    try:
        width, height = (int(n) for n in size.split("x"))
    except ValueError:
        raise Failure(f"could not compare {first} and {second}: {result.stderr.strip()}")
    return width, height


def colours(display, image):
    result = subprocess.run(["convert", image, "-format", "%k", "info:"], env=display.env, capture_output=True,
                            text=True, timeout=30)
    return int(result.stdout.strip() or 0)


class WineAcceptanceRun(common.AcceptanceRun):
    def __init__(self, brindle, build_dir, work, processes, wine, wineserver, probe):
        super().__init__(brindle, build_dir, work, processes)
        self.probe = probe
        self.wine = wine
        self.wineserver = wineserver
        self.shots = 0

    def wine_env(self):
        env = dict(self.display.env)
        env.update(WINEPREFIX=self.path("prefix"), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        return env

    def capture(self, name):
        shot = self.path(f"{name}.png")
        self.display.screenshot(self.window, shot)
        return shot

    def start_brindle(self):
        self.display = common.Display(self.processes, self.work)
        env = self.wine_env()
        began = time.monotonic()
        with open(self.path("wineboot.log"), "wb") as boot_log:
            boot = subprocess.run([self.wine, "wineboot", "--init"], env=env, stdout=boot_log, stderr=boot_log,
                                  timeout=min(120, max(common.remaining(), 1)))
        if boot.returncode != 0:
            raise Failure(f"wineboot failed ({boot.returncode})")
        log(f"fresh Wine prefix in {time.monotonic() - began:.1f}s")
        self.brindle_log = self.path("brindle.log")
        self.brindle = self.processes.start(
            "brindle", [self.wine, "explorer", f"/desktop={DESKTOP}", self.brindle_path], env=env,
            stdout=subprocess.DEVNULL, stderr=open(self.brindle_log, "wb"))
        found = self.display.xdotool("search", "--sync", "--onlyvisible", "--name", "Wine desktop", timeout=60)
        self.window = found.split()[0]
        self.display.xdotool("windowfocus", "--sync", self.window)
        # The desktop shows before the dialog does; the dialog is up once the picture has its
        # controls and has stopped changing.
        previous = None
        for attempt in range(120):
            shot = self.capture("start")
            if colours(self.display, shot) >= 32:
                if previous and differing_pixels(self.display, previous, shot) == 0:
                    break
                previous = self.path(f"start-{attempt}.png")
                shutil.copyfile(shot, previous)
            if common.remaining() < 30:
                break
            time.sleep(0.5)
        else:
            raise Failure("the dialog did not appear in the Wine desktop")
        self.keyboard = common.Keyboard(self.display)
        log("the dialog is up")

    def about_box(self):
        """Alt+Space opens the real system menu; its last entry, "&About brindle...", the box."""
        # A first look at the menu activates the window, so that the pictures compared below
        # differ only by what the About box changes.
        self.keyboard.keys("alt+space")
        time.sleep(1.0)
        self.keyboard.keys("Escape")
        time.sleep(1.0)
        before = self.capture("before-about")
        self.keyboard.keys("alt+space")
        time.sleep(1.0)
        menu = self.capture("system-menu")
        if differing_pixels(self.display, before, menu) < 500:
            raise Failure("Alt+Space did not open the system menu")
        # Up from the first entry wraps round to the last; Wine's own "About Wine" shares the
        # mnemonic, so the entry is chosen by place.
        self.keyboard.keys("Up", "Return")
        time.sleep(1.5)
        about = self.capture("about")
        changed = differing_pixels(self.display, before, about)
        if changed < ABOUT_BOX_PIXELS:
            raise Failure(f"no About box after the system menu's About entry ({changed} pixels changed)")
        # Escape ends the About box alone: the console stays.
        self.keyboard.keys("Escape")
        time.sleep(1.5)
        if self.brindle.poll() is not None:
            raise Failure("Escape in the About box ended the program")
        after = self.capture("after-about")
        if differing_pixels(self.display, before, after) > ABOUT_BOX_PIXELS // 20:
            raise Failure("the About box did not close on Escape")
        log(f"About box through the system menu ({changed} pixels), closed by Escape")

    def screenshot(self):
        full = self.capture("desktop")
        shot = os.path.join(self.build_dir, "screenshot-windows.png")
        # The dialog alone, cut out of the desktop's plain background.
        subprocess.run(["convert", full, "-trim", "+repage", shot], env=self.display.env, check=True, timeout=30,
                       capture_output=True)
        if colours(self.display, shot) < 32:
            raise Failure("the screenshot looks blank")
        log(f"screenshot: {shot}")
        self.keep_screenshot(shot)

    def view_find_and_copy(self):
        """In the view of what the server sent: Shift+Right over part of its first line repaints
        those characters alone; Ctrl+F finds a word and selects it, and the context menu's Copy
        (Shift+F10, C) puts it on the clipboard."""
        kb = self.keyboard
        # The reply's end disabled the server "Send" under the focus, which went on to the next stop.
        kb.focus_moved_on(common.LOCKED | {common.CLIENT_SEND, common.SERVER_SEND})
        kb.go(common.TO_CLIENT_VIEW, common.LOCKED | {common.CLIENT_SEND, common.SERVER_SEND}, backwards=True)
        kb.keys("ctrl+Home")
        time.sleep(1.0)
        plain = self.capture("view-plain")
        kb.keys("shift+Right", "shift+Right", "shift+Right", "shift+Right")
        time.sleep(1.0)
        selected = self.capture("view-selected")
        width, height = changed_area(self.display, plain, selected)
        # Four cells of the fixed font, about 8 by 13 pixels each; the whole line would be 120 wide.
        if not (16 <= width <= 48 and 8 <= height <= 20):
            raise Failure(f"selecting 4 characters changed a {width}x{height} area of the view, not those cells")
        log(f"a selection inside a line repaints its own {width}x{height} pixels; the rest of the line stays")

        kb.keys("ctrl+f")
        time.sleep(0.8)
        self.display.xdotool("type", "--delay", "30", "simplehttp")
        kb.keys("Return")
        time.sleep(1.0)
        kb.keys("Escape")
        time.sleep(0.5)
        kb.keys("shift+F10")
        time.sleep(1.0)
        kb.keys("c")
        time.sleep(1.0)
        clip = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.display.env, capture_output=True,
                              text=True, timeout=10)
        if clip.stdout != "SimpleHTTP":
            raise Failure(f"find and the menu's Copy put {clip.stdout!r} on the clipboard, not 'SimpleHTTP'")
        log("Ctrl+F found and selected a word; the context menu's Copy put it on the clipboard")

    def hex_view(self):
        """The view's context menu (Shift+F10) has "Hex" (H): the view then holds the hex dump of the
        reply, as a screen reader in another process reads its text; Ctrl+H brings the text back."""
        kb = self.keyboard
        kb.keys("shift+F10")
        time.sleep(1.0)
        kb.keys("h")
        time.sleep(1.0)
        first = "000000000000  48 54 54 50 2f 31 2e 30  20 32 30 30"
        texts = self.probe_texts()
        if not texts.get(1013, "").startswith(first):
            raise Failure(f"after Hex the view reads {texts.get(1013)!r}, not {first!r}...")
        full = self.capture("desktop-hex")
        shot = os.path.join(self.build_dir, "screenshot-hex-windows.png")
        subprocess.run(["convert", full, "-trim", "+repage", shot], env=self.display.env, check=True, timeout=30,
                       capture_output=True)
        self.keep_screenshot(shot, "BRINDLE_HEX_SCREENSHOT")
        kb.keys("ctrl+h")
        time.sleep(1.0)
        texts = self.probe_texts()
        if not texts.get(1013, "").startswith("HTTP/1.0 200"):
            raise Failure(f"after Ctrl+H the view reads {texts.get(1013)!r}, not its text")
        log("the context menu's Hex showed the dump, read through the window's text; Ctrl+H brought the text back")

    def probe_texts(self):
        result = subprocess.run([self.wine, self.probe, "Windows Brindle", "brindle"], env=self.wine_env(),
                                capture_output=True, text=True, timeout=min(60, max(common.remaining(), 1)))
        texts = {}
        for line in result.stdout.splitlines():
            parts = line.split(" ", 2)
            if parts[0] == "text" and len(parts) >= 2:
                texts[int(parts[1])] = parts[2] if len(parts) == 3 else ""
        return texts

    def screen_reader(self):
        """Another process reads the window as a screen reader would: oleacc's objects of every
        control, UI Automation's elements of the views. (Wine 8 cannot hand a client the views' Text
        pattern: its UiaGetPatternProvider is an unimplemented stub. The in-process test reads it.)"""
        result = subprocess.run([self.wine, self.probe, "Windows Brindle", "brindle"], env=self.wine_env(),
                                capture_output=True, text=True, timeout=min(60, max(common.remaining(), 1)))
        with open(self.path("screen_reader.txt"), "w") as out:
            out.write(result.stdout + result.stderr)
        if result.returncode != 0:
            raise Failure(f"the screen reader probe failed ({result.returncode}): {result.stderr.strip()}")
        msaa = {}
        uia = {}
        texts = {}
        for line in result.stdout.splitlines():
            parts = line.split(" ", 2)
            if parts[0] == "msaa" and len(parts) == 3:
                fields = parts[2].split(" ", 3)
                msaa[int(parts[1])] = (fields[3][len("name="):], int(fields[1][len("role="):]),
                                       int(fields[2][len("state="):], 16))
            elif parts[0] == "text" and len(parts) >= 2:
                texts[int(parts[1])] = parts[2] if len(parts) == 3 else ""
            elif parts[0] == "uia" and len(parts) == 3 and parts[2].startswith("name="):
                name, _, kind = parts[2][len("name="):].rpartition(" type=")
                uia[int(parts[1])] = (name, int(kind))
        for control, name, role, state in MSAA_EXPECTED:
            got = msaa.get(control)
            if not got or got[0] != name or (role is not None and got[1] != role) or (got[2] & state) != state:
                raise Failure(f"MSAA reads control {control} as {got}, not {name!r} role {role} state {state:#x}")
        for control, name, kind in UIA_EXPECTED:
            if uia.get(control) != (name, kind):
                raise Failure(f"UI Automation reads view {control} as {uia.get(control)}, not {name!r} type {kind}")
        # The last exchange was by hand: curl's request waits in the upper view, the reply below.
        for control, start in TEXT_EXPECTED:
            if not texts.get(control, "").startswith(start):
                raise Failure(f"view {control}'s text reads {texts.get(control)!r}, not {start!r}...")
        log(f"a screen reader in another process reads {len(msaa)} controls by MSAA, both views by UI Automation"
            " and their text")

    def close_with_escape(self):
        self.keyboard.keys("Escape")
        # The desktop's process ends once its last program has.
        try:
            self.brindle.wait(timeout=min(30, max(common.remaining(), 1)))
        except subprocess.TimeoutExpired:
            raise Failure("Escape did not end the program")
        log("Escape ended the program")

    def run(self):
        self.fill_site()
        self.start_http_server()
        self.start_brindle()
        self.about_box()
        self.listen_with_auto()
        self.fetch_with_curl()
        wait_for(lambda: common.quiet(self.listen_port, self.dest_port), 30, "every relayed connection to end")
        self.exchange_by_hand()
        self.screen_reader()
        self.screenshot()
        self.view_find_and_copy()
        self.hex_view()
        self.close_with_escape()

    def stop_wine(self):
        if self.display:
            subprocess.run([self.wineserver, "-k"], env=self.wine_env(), capture_output=True, timeout=30)


def missing_tool(wine, wineserver):
    for tool in ("Xvfb", "xdotool", "xclip", "curl", "import", "convert", "compare", "cmp", wine, wineserver):
        if shutil.which(tool) is None:
            return tool
    return None


def main(argv):
    if len(argv) != 6:
        print(__doc__)
        return 2
    brindle, build_dir, wine, wineserver, probe = (os.path.abspath(a) if i in (0, 1, 4) else a
                                                   for i, a in enumerate(argv[1:]))
    tool = missing_tool(wine, wineserver)
    if tool:
        print(f"SKIP: {tool} is not installed (tools/install_deps.sh --tests installs it)")
        return common.SKIP
    os.makedirs(build_dir, exist_ok=True)
    work = tempfile.mkdtemp(prefix="acceptance-wine-", dir=build_dir)
    processes = common.Processes()
    run = None
    try:
        run = WineAcceptanceRun(brindle, build_dir, work, processes, wine, wineserver, probe)
        run.run()
    except (Failure, OSError, subprocess.SubprocessError) as failure:
        print(f"FAIL: {failure}")
        if run:
            run.diagnose()
        print(f"(files kept in {work})")
        return 1
    finally:
        if run:
            run.stop_wine()
        processes.stop_all()
    shutil.rmtree(work, ignore_errors=True)
    log("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
