#!/usr/bin/env python3
"""What Orca, the desktop's screen reader, says of the real program: Orca and the program side by
side on Xvfb in a private D-Bus session, driven from the keyboard, with what Orca speaks read from
its debug log ("SPEECH OUTPUT" lines). Orca runs without a speech server, which would wait for a
sound device.

Usage: orca_speech_test.py BRINDLE

Exits 77 (skipped) when Orca or anything the accessibility bus test needs is missing.
"""

import os
import re
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from screen_reader_test import (BUS_LAUNCHER, SYSTEM_PYTHON, Failure, free_port, log,  # noqa: E402
                                private_session, run_test, start)

ORCA = "/usr/bin/orca"
TEST_BUDGET_S = 150
started_at = time.monotonic()

# Orca's own launcher with two changes: another Orca of this user (another session's) does not stop
# it, and its debug log is written line by line, as it speaks, instead of in blocks.
ORCA_LAUNCHER = """
import runpy, sys
launcher = runpy.run_path(sys.argv[3], run_name="orca_launcher")
launcher["main"].__globals__["otherOrcas"] = lambda: []
launcher["main"].__globals__["setProcessName"] = lambda name: None
from orca import debug
debug.debugLevel = debug.LEVEL_INFO
debug.debugFile = open(sys.argv[1], "w", buffering=1)
sys.argv = ["orca", "--user-prefs", sys.argv[2]]
sys.exit(launcher["main"]())
"""
# Speech on, with no speech server to send it to; no braille, no sounds.
ORCA_SETTINGS = """{"general": {"speechServerFactory": "", "enableBraille": false, "enableSound": false},
 "profiles": {"default": {"profile": ["Default", "default"], "speechServerFactory": "", "enableBraille": false,
                          "enableSound": false}},
 "pronunciations": {}, "keybindings": {}}
"""

# The text (a say-all line may hold line breaks, never a new log line), then the voice where it is
# not the default one, then the voice's properties.
SPOKEN = re.compile(r"SPEECH OUTPUT: '((?:(?!\n\d\d:\d\d:\d\d\.\d+ - ).)*?)'(?:(?: voice=\w+)? ?\{[^\n]*\})?\n",
                    re.S)
# What Orca says when the focus lands on a control, as opposed to the echo of a key or a selection.
ARRIVAL = re.compile(r" (push button|check box (not )?checked|text)\.$")


def remaining():
    return TEST_BUDGET_S - (time.monotonic() - started_at)


class Speech:
    """Everything Orca has said, in order, read from its log as it grows."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.partial = ""
        self.said = []

    def poll(self):
        if not os.path.exists(self.path):
            return self.said
        with open(self.path, errors="replace") as log_file:
            log_file.seek(self.offset)
            self.partial += log_file.read()
            self.offset = log_file.tell()
        consumed = 0
        for match in SPOKEN.finditer(self.partial):
            self.said.append(match.group(1).strip("\n"))
            consumed = match.end()
        self.partial = self.partial[consumed:]
        return self.said

    def mark(self):
        return len(self.poll())

    def wait_for(self, condition, what, since=0, timeout=20):
        """The first utterance after `since` that meets `condition` (a text or a predicate)."""
        test = condition if callable(condition) else (lambda said: said == condition)
        deadline = time.monotonic() + min(timeout, max(remaining(), 1))
        while True:
            for utterance in self.poll()[since:]:
                if test(utterance):
                    return utterance
            if time.monotonic() >= deadline:
                raise Failure(f"Orca did not say {what}; after the mark it said {self.said[since:]}")
            time.sleep(0.05)


class Keyboard:
    def __init__(self, env):
        self.env = env

    def press(self, *keys):
        for key in keys:
            subprocess.run(["xdotool", "key", "--clearmodifiers", key], env=self.env, check=True, timeout=10)

    def type(self, text):
        subprocess.run(["xdotool", "type", "--delay", "20", text], env=self.env, check=True, timeout=20)


def start_orca(work, env, children):
    prefs = os.path.join(work, "orca")
    os.makedirs(prefs)
    with open(os.path.join(prefs, "user-settings.conf"), "w") as settings:
        settings.write(ORCA_SETTINGS)
    speech = Speech(os.path.join(work, "orca.log"))
    children.append(start([SYSTEM_PYTHON, "-c", ORCA_LAUNCHER, speech.path, prefs, ORCA], env=env,
                          stdout=open(os.path.join(work, "orca.out"), "wb"), stderr=subprocess.STDOUT))
    speech.wait_for("Screen reader on.", "that it is on", timeout=60)
    return speech


class Window:
    """The program's controls as the accessibility bus shows them, for what the keyboard cannot
    do without moving the focus."""

    def __init__(self, pyatspi):
        self.pyatspi = pyatspi
        desktop = pyatspi.Registry.getDesktop(0)
        apps = [desktop[i] for i in range(desktop.childCount)]
        app = next(app for app in apps if app is not None and app.name == "brindle")
        self.by_name = {}
        for control in pyatspi.findAllDescendants(app, lambda acc: acc.getRole() in (
                pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_TEXT)):
            self.by_name.setdefault(control.name, control)

    def act(self, name, action):
        actions = self.by_name[name].queryAction()
        actions.doAction([actions.getName(i) for i in range(actions.nActions)].index(action))

    def type_into(self, name, text):
        self.by_name[name].queryEditableText().setTextContents(text)

    def text(self, name):
        return self.by_name[name].queryText().getText(0, -1)

    def focus(self, name):
        self.by_name[name].queryComponent().grabFocus()

    def wait_for_text(self, name, text):
        deadline = time.monotonic() + min(15, max(remaining(), 1))
        while text not in self.text(name):
            if time.monotonic() >= deadline:
                raise Failure(f'"{text}" never reached "{name}"')
            time.sleep(0.05)


def tab_round(speech, keys, stops):
    """Tab from OK round to OK again; what Orca says on arriving at each stop."""
    heard = []
    for _ in range(stops):
        mark = speech.mark()
        keys.press("Tab")
        heard.append(speech.wait_for(ARRIVAL.search, "a control's name after Tab", since=mark))
    return heard


REQUEST = b"GET /hello.txt HTTP/1.0\r\nHost: relay\r\n\r\n"
EXPECTED_ROUND = [
    "Cancel push button.", "Listen Port: text.", "Destination Port: text.", "Destination Host: text.",
    "Local Client Auto check box not checked.", "Listen push button.",
    "Local Client (to remote server) read only text.", "Local Server (to remote client) read only text.",
    "Local Server Auto check box not checked.", "Local Client Clear check box not checked.",
    "Local Server Clear check box not checked.", "Connect push button.", "Local Client Disconnect push button.",
    "Local Client Sent bytes read only text.", "Local Client Received bytes read only text.",
    "Local Client Reset push button.", "Local Client Clear push button.", "Local Server Clear push button.",
    "Local Server Sent bytes read only text.", "Local Server Received bytes read only text.",
    "Local Server Reset push button.", "Stop Server push button.", "Local Client CRLF check box not checked.",
    "Local Server CRLF check box not checked.", "Local Client Buffers check box not checked.",
    "Local Server Buffers check box not checked.", "OK push button.",
]


def run(brindle, work, children):
    env = private_session(children, work)
    home = os.path.join(work, "home")
    os.makedirs(home)
    # Orca and the bus launcher keep their settings in memory and their files in the work folder.
    env.update(GSETTINGS_BACKEND="memory", HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
               XDG_DATA_HOME=os.path.join(home, "data"), XDG_CACHE_HOME=os.path.join(home, "cache"))
    speech = start_orca(work, env, children)
    keys = Keyboard(env)

    mark = speech.mark()
    children.append(start([brindle], env=env, stderr=open(os.path.join(work, "brindle.log"), "wb")))
    speech.wait_for("Windows Brindle dialog.", "the window's title", since=mark, timeout=30)
    speech.wait_for("OK push button.", "the focused button", since=mark)

    heard = tab_round(speech, keys, len(EXPECTED_ROUND))
    log(f"a Tab round: {heard}")
    if heard != EXPECTED_ROUND:
        raise Failure(f"a Tab round said {heard}")

    os.environ.update(env)
    import pyatspi  # finds the bus through the environment when it is imported
    window = Window(pyatspi)
    relay_request(speech, window)
    read_view(speech, keys, window)
    find_in_view(speech, keys)
    window.act("Cancel", "Press")


def relay_request(speech, window):
    """Listen, then a client connecting, with the focus on OK all along: each status change spoken
    as the status bar it changed, its caption first."""
    window.type_into("Listen Port", str(free_port()))
    with socket.create_server(("127.0.0.1", 0)) as server:
        window.type_into("Destination Port", str(server.getsockname()[1]))
        window.type_into("Destination Host", "127.0.0.1")
        window.act("Local Client Auto", "Toggle")
        mark = speech.mark()
        window.act("Listen", "Press")
        expect_in_order(speech, mark, ["Windows Brindle dialog", "Local server status: Listening... statusbar"])
        mark = speech.mark()
        client = socket.create_connection(("127.0.0.1", int(window.text("Listen Port"))), timeout=10)
        with client:
            expect_in_order(speech, mark, ["Local server status: Connected! statusbar",
                                           "Local client status: Connected! statusbar"])
            client.sendall(REQUEST)
            window.wait_for_text("Local Client (to remote server)", "Host: relay")
            mark = speech.mark()
        # The client leaving takes the server connection with it ("Auto").
        expect_in_order(speech, mark, ["Local server status: Connection gracefully terminated. statusbar",
                                       "Local client status: Idle. statusbar"])
    log("status changes spoken with the focus on OK")


def read_view(speech, keys, window):
    """The view by its name, line by line with the arrow keys, then by say-all from the top."""
    mark = speech.mark()
    window.focus("Local Client (to remote server)")
    speech.wait_for("Local Client (to remote server) read only text.", "the view's name", since=mark)
    keys.press("ctrl+Home")
    for key, line in (("Down", "Host: relay"), ("Up", "GET /hello.txt HTTP/1.0")):
        mark = speech.mark()
        keys.press(key)
        speech.wait_for(line, f"the line after {key}", since=mark)
    mark = speech.mark()
    keys.press("KP_Add")  # say all
    expect_in_order(speech, mark, [lambda s: s.startswith("GET /hello.txt HTTP/1.0"),
                                   lambda s: "Host: relay" in s], what="the view by say-all")
    log("the view read by its name, line by line and by say-all")


def find_in_view(speech, keys):
    """Ctrl+F lands in the find field of the find tool bar; a match is spoken selected, a missing
    text "Not found" every time, a search round the end "Wrapped"; Escape returns to the view."""
    mark = speech.mark()
    keys.press("ctrl+f")
    expect_in_order(speech, mark, ["Find tool bar", "Find: text."])
    steps = (("Host", "Return", ["Host", "selected"]),
             ("absent", "Return", ["Find tool bar", "Not found statusbar"]),
             (None, "Return", ["Find tool bar", "Not found statusbar"]),
             ("GET", "Return", ["GET", "selected", "Find tool bar", "Wrapped statusbar"]),
             (None, "F3", ["Find tool bar", "Wrapped statusbar"]))
    for text, key, expected in steps:
        if text:
            keys.press("ctrl+a")
            keys.type(text)
        mark = speech.mark()
        keys.press(key)
        expect_in_order(speech, mark, expected)
    mark = speech.mark()
    keys.press("Escape")
    speech.wait_for("Local Client (to remote server) read only text.", "the view again", since=mark)
    log("find: the match, \"Not found\" twice and \"Wrapped\" spoken; Escape back in the view")


def expect_in_order(speech, since, expected, what=None):
    """Each of `expected` (texts or predicates) said after `since`, in this order."""
    for item in expected:
        said = speech.wait_for(item, what or repr(item), since=since)
        since = speech.said.index(said, since) + 1


def main(argv):
    return run_test(argv, __doc__, (ORCA, "Xvfb", "xdotool", "dbus-daemon", BUS_LAUNCHER), "orca-speech-", run,
                    ("brindle.log", "orca.out", "at-spi.log"))


if __name__ == "__main__":
    sys.exit(main(sys.argv))
