#!/usr/bin/env python3
"""The README's two walkthroughs, "One HTTP exchange, relayed by itself" and "The same exchange by
hand", done as written: curl and python's http.server, the mouse clicking the controls the README
names, and at each step the status lines, views and counters it names read back over the
accessibility bus. Ports are free ones rather than 8080 and 8000, which another program may hold.

Usage: readme_walkthrough_test.py BRINDLE

Exits 77 (skipped) when curl or anything the accessibility bus test needs is missing.
"""

import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from screen_reader_test import (BUS_LAUNCHER, CLIENT_STATUS, SERVER_STATUS, SYSTEM_PYTHON,  # noqa: E402
                                Failure, ScreenReader, Window, free_port, log, private_session, run_test, start)

HELLO = "Hello through Brindle\n"
UPPER, LOWER = "Local Client (to remote server)", "Local Server (to remote client)"
COUNTERS = ("Local Client Sent bytes", "Local Client Received bytes", "Local Server Sent bytes",
            "Local Server Received bytes")


class Walkthrough:
    def __init__(self, window, env, work, listen_port, dest_port):
        self.window = window
        self.reader = window.reader
        self.env = env
        self.work = work
        self.listen_port = listen_port
        self.dest_port = dest_port
        self.curls = 0

    # -- the person at the window

    def click(self, name):
        control = self.window.by_name[name]
        x, y, width, height = control.queryComponent().getExtents(self.window.pyatspi.DESKTOP_COORDS)
        subprocess.run(["xdotool", "mousemove", "--sync", str(x + width // 2), str(y + height // 2), "click", "1"],
                       env=self.env, check=True, timeout=10)

    def type_into(self, name, text):
        self.click(name)
        subprocess.run(["xdotool", "key", "ctrl+a", "type", "--delay", "20", text], env=self.env, check=True,
                       timeout=20)
        self.reader.wait_for(lambda: self.window.view_text(name) == text, f'"{name}" to read {text}')

    def status(self, caption):
        return self.window.status_text(caption)[0]

    def expect_status(self, caption, text):
        self.reader.wait_for(lambda: self.status(caption) == text,
                             f'"{caption}" to read "{text}" (reads "{self.status(caption)}")')

    def heard(self, caption, text):
        """A line that may have moved on already: the reader heard `text` inserted in it."""
        self.reader.wait_for(lambda: ("object:text-changed:insert", caption, text) in self.reader.heard,
                             f'"{caption} {text}" (heard {self.reader.heard})')

    def counters(self):
        return {name: int(self.window.view_text(name)) for name in COUNTERS}

    # -- curl

    def curl(self):
        """curl as the README runs it, with a trace beside it that tells the bytes it sent and got."""
        self.curls += 1
        self.trace = os.path.join(self.work, f"curl{self.curls}.trace")
        return start(["curl", "-sS", "--max-time", "30", "--trace-ascii", self.trace,
                      f"http://127.0.0.1:{self.listen_port}/hello.txt"],
                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def finish(self, curl, timeout=15):
        try:
            out, err = curl.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("curl did not finish")
        if curl.returncode != 0 or out.decode() != HELLO:
            raise Failure(f"curl printed {out!r} (exit {curl.returncode}: {err.decode().strip()})")

    def traced(self):
        """(bytes curl sent, bytes curl received) by its trace."""
        if not os.path.exists(self.trace):
            return 0, 0
        with open(self.trace, errors="replace") as trace:
            text = trace.read()
        sizes = lambda kind: sum(int(n) for n in re.findall(rf"^{kind} (?:header|data), (\d+) bytes", text, re.M))
        return sizes("=> Send"), sizes("<= Recv")

    def requests_served(self):
        with open(os.path.join(self.work, "http.log"), errors="replace") as served:
            return served.read().count('"GET /hello.txt ')

    # -- the README, section by section

    def relayed_by_itself(self):
        self.type_into("Listen Port", str(self.listen_port))
        self.type_into("Destination Port", str(self.dest_port))
        self.type_into("Destination Host", "127.0.0.1")
        self.click("Local Client Auto")
        self.click("Local Server Auto")
        self.click("Listen")
        self.expect_status(SERVER_STATUS, "Listening...")
        locked = [field for field in ("Listen Port", "Destination Port", "Destination Host")
                  if not self.window.enabled(field)]
        if len(locked) != 3:
            raise Failure(f"only {locked} locked while listening")

        self.finish(self.curl())
        self.heard(SERVER_STATUS, "Connected!")
        self.heard(CLIENT_STATUS, "Connected!")
        self.reader.wait_for(lambda: "GET /hello.txt" in self.window.view_text(UPPER)
                             and "Hello through Brindle" in self.window.view_text(LOWER), "the request and the reply")
        request, reply = self.traced()
        expected = {"Local Client Sent bytes": request, "Local Server Received bytes": request,
                    "Local Server Sent bytes": reply, "Local Client Received bytes": reply}
        self.reader.wait_for(lambda: self.counters() == expected, f"the counters {expected} (read {self.counters()})")
        # Which end closes first decides the lines: the server, with its reply (the usual order),
        # or curl, once it has the whole reply.
        ends = ({CLIENT_STATUS: "Connection gracefully terminated.", SERVER_STATUS: "Connection to client terminated."},
                {CLIENT_STATUS: "Idle.", SERVER_STATUS: "Connection gracefully terminated."})
        lines = lambda: {caption: self.status(caption) for caption in (CLIENT_STATUS, SERVER_STATUS)}
        self.reader.wait_for(lambda: lines() in ends, f"both ends closed (lines read {lines()})")
        log(f"relayed by itself: {request} bytes up, {reply} down; {lines()}")

        self.finish(self.curl())
        log("still listening: curl again printed the file")

    def by_hand(self):
        self.click("Local Client Auto")
        self.click("Local Server Auto")
        served = self.requests_served()
        start = self.counters()
        grown = lambda name: self.counters()[name] - start[name]
        self.reader.heard.clear()
        curl = self.curl()

        def still(what, requests):
            time.sleep(1)  # ten ticks
            if self.requests_served() != served + requests:
                raise Failure(f"the server had {self.requests_served() - served} requests {what}")
            if curl.poll() is not None or self.traced()[1] != 0:
                raise Failure(f"curl heard back {what}")

        self.heard(SERVER_STATUS, "Connected!")
        self.reader.wait_for(lambda: self.window.view_text(UPPER).count("GET /hello.txt") == 3, "the request shown")
        request = self.reader.wait_for(lambda: self.traced()[0], "the request in curl's trace")
        self.reader.wait_for(lambda: grown("Local Server Received bytes") == request, "the request counted")
        still("before anything was clicked", 0)
        if grown("Local Client Sent bytes") != 0:
            raise Failure(f"the request was counted as sent: {self.counters()}")
        log(f"1. the request waits: {request} bytes")

        self.reader.heard.clear()
        self.click("Connect")
        self.heard(CLIENT_STATUS, "Connecting...")
        self.expect_status(CLIENT_STATUS, "Connected!")
        still('after "Connect"', 0)
        log("2. connected; the server has nothing")

        self.click("Local Client Send")
        self.reader.wait_for(lambda: self.requests_served() == served + 1, "the request at the server")
        self.reader.wait_for(lambda: grown("Local Client Sent bytes") == request, '"Sent bytes" to catch up')
        self.reader.wait_for(lambda: self.window.view_text(LOWER).count("Hello through Brindle") == 3, "the reply shown")
        self.expect_status(CLIENT_STATUS, "Connection gracefully terminated.")
        still('before the server "Send"', 1)
        reply = grown("Local Client Received bytes")
        if reply == 0 or grown("Local Server Sent bytes") != 0:
            raise Failure(f"the reply was not counted as waiting: {self.counters()}")
        log(f"3. the request went on; the reply waits: {reply} bytes")

        self.click("Local Server Send")
        self.finish(curl)
        if self.traced()[1] != reply:
            raise Failure(f"curl got {self.traced()[1]} bytes of the {reply} that waited")
        self.reader.wait_for(lambda: grown("Local Server Sent bytes") == reply, '"Sent bytes" to catch up')
        log("4. curl printed the reply")


def run(brindle, work, children):
    env = private_session(children, work)
    os.environ.update(env)  # pyatspi finds the bus through these when it is imported
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import GLib
    import pyatspi

    site = os.path.join(work, "site")
    os.makedirs(site)
    with open(os.path.join(site, "hello.txt"), "w") as hello:
        hello.write(HELLO)
    dest_port = free_port()
    children.append(start([SYSTEM_PYTHON, "-m", "http.server", str(dest_port), "--bind", "127.0.0.1", "--directory",
                           site], stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "http.log"), "wb")))
    reader = ScreenReader(pyatspi, GLib)
    program = start([brindle], env=env, stderr=open(os.path.join(work, "brindle.log"), "wb"))
    children.append(program)
    window = Window(reader, reader.wait_for(reader.window, "the window on the accessibility bus", timeout=30))
    walk = Walkthrough(window, env, work, free_port(), dest_port)
    walk.relayed_by_itself()
    walk.by_hand()
    window.act("Cancel", "Press")
    if program.wait(timeout=10) != 0:
        raise Failure(f"the program exited with {program.returncode}")


def main(argv):
    return run_test(argv, __doc__, ("Xvfb", "xdotool", "curl", "dbus-daemon", BUS_LAUNCHER), "walkthrough-", run,
                    ("brindle.log", "at-spi.log", "http.log"))


if __name__ == "__main__":
    sys.exit(main(sys.argv))
