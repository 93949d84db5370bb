#!/usr/bin/env python3
"""The real program in a real X server, driven from the keyboard as a person would, relaying
between curl or headless Chromium and python's http.server over loopback.

Usage: relay_window_test.py BRINDLE WORK_DIR

Exits 77 (skipped) when Xvfb, xdotool, Chromium, curl or ImageMagick is missing. Leaves the
window's screenshot in WORK_DIR/screenshot.png, and also at $BRINDLE_SCREENSHOT when that is set
(the README's picture: BRINDLE_SCREENSHOT=$PWD/docs/screenshot.png ctest -L acceptance).
"""

import ctypes
import os
import random
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

SKIP = 77
TEST_BUDGET_S = 120  # every wait is cut short by this, so CTest's own limit is never the one hit

# Tab stops in template order; Tab walks this list over the enabled ones.
IDOK, IDCANCEL = 1, 2
LISTEN_PORT, DEST_PORT, DEST_HOST = 1001, 1002, 1003
CLIENT_AUTO, PLUGIN_PATH, PLUGIN_LOAD, CLIENT_SEND, LISTEN = 1007, 1008, 1009, 1010, 1011
TO_SERVER_VIEW, TO_CLIENT_VIEW, SERVER_SEND, SERVER_AUTO = 1012, 1013, 1014, 1015
CLIENT_CLEAR_ON_SEND, SERVER_CLEAR_ON_SEND, CONNECT, CLIENT_DISCONNECT = 1016, 1017, 1019, 1020
CLIENT_SENT, CLIENT_RECEIVED, CLIENT_RESET, CLIENT_CLEAR, SERVER_CLEAR = 1022, 1023, 1024, 1025, 1026
SERVER_DISCONNECT, SERVER_SENT, SERVER_RECEIVED, SERVER_RESET, STOP_SERVER = 1027, 1028, 1029, 1030, 1031
CLIENT_CRLF, SERVER_CRLF, CLIENT_BUFFERS, SERVER_BUFFERS = 1032, 1033, 1034, 1035
TAB_CHAIN = [
    IDOK, IDCANCEL, LISTEN_PORT, DEST_PORT, DEST_HOST, CLIENT_AUTO, PLUGIN_PATH, PLUGIN_LOAD, CLIENT_SEND,
    LISTEN, TO_SERVER_VIEW, TO_CLIENT_VIEW, SERVER_SEND, SERVER_AUTO, CLIENT_CLEAR_ON_SEND,
    SERVER_CLEAR_ON_SEND, CONNECT, CLIENT_DISCONNECT, CLIENT_SENT, CLIENT_RECEIVED, CLIENT_RESET,
    CLIENT_CLEAR, SERVER_CLEAR, SERVER_DISCONNECT, SERVER_SENT, SERVER_RECEIVED, SERVER_RESET,
    STOP_SERVER, CLIENT_CRLF, SERVER_CRLF, CLIENT_BUFFERS, SERVER_BUFFERS,
]
NEVER_ENABLED = {PLUGIN_PATH, PLUGIN_LOAD}

# /proc/net/tcp states.
TCP_ESTABLISHED, TCP_TIME_WAIT, TCP_CLOSE, TCP_LISTEN = 0x01, 0x06, 0x07, 0x0A

MARKER = "brindle-acceptance-marker-5f3a"
PAGE = f"""<!doctype html>
<html><head><meta charset="utf-8"><title>Brindle acceptance</title></head>
<body><h1>Through the relay</h1><p id="marker">{MARKER}</p></body></html>
"""
MANUAL_BODY = b"held until Send, both ways\n"


class Failure(Exception):
    pass


started_at = time.monotonic()


def remaining():
    return TEST_BUDGET_S - (time.monotonic() - started_at)


def log(message):
    print(f"[{time.monotonic() - started_at:6.1f}s] {message}", flush=True)


def wait_for(condition, timeout, what, poll=0.05):
    deadline = time.monotonic() + min(timeout, max(remaining(), 0))
    while True:
        if condition():
            return
        if time.monotonic() >= deadline:
            raise Failure(f"timed out after {timeout}s waiting for {what}")
        time.sleep(poll)


def hold_still(seconds):
    """The window a negative check watches: long enough for ten or more ticks to have run."""
    time.sleep(min(seconds, max(remaining(), 0)))


# ---- processes --------------------------------------------------------------------------------

def _die_with_parent():
    # Children must not outlive a test that CTest kills outright.
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class Processes:
    def __init__(self):
        self.children = []

    def start(self, name, args, **kwargs):
        process = subprocess.Popen(args, start_new_session=True, preexec_fn=_die_with_parent, **kwargs)
        self.children.append((name, process))
        return process

    def stop(self, process, grace=3.0):
        if process.poll() is None:
            try:
                os.killpg(process.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            try:
                process.wait(timeout=grace)
            except subprocess.TimeoutExpired:
                pass
        # Helpers a child left behind in its group (Chromium's) go too.
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass
        if process.poll() is None:
            process.wait(timeout=5)

    def stop_all(self):
        for _, process in reversed(self.children):
            self.stop(process)


# ---- the network, as the peers and the kernel see it ---------------------------------------------

def tcp_sockets():
    # The relay listens on one IPv6 socket that takes IPv4 clients too: it and its connections
    # show in tcp6.
    sockets = []
    for path in ("/proc/net/tcp", "/proc/net/tcp6"):
        if not os.path.exists(path):
            continue
        with open(path) as table:
            next(table)
            for line in table:
                fields = line.split()
                local_port = int(fields[1].split(":")[1], 16)
                remote_port = int(fields[2].split(":")[1], 16)
                tx_queue, rx_queue = (int(n, 16) for n in fields[4].split(":"))
                sockets.append((local_port, remote_port, int(fields[3], 16), tx_queue, rx_queue))
    return sockets


def listening(port):
    return any(local == port and state == TCP_LISTEN for local, _, state, _, _ in tcp_sockets())


def accept_backlog(port):
    # For a listening socket the kernel reports its accept queue length as rx_queue.
    return sum(rx for local, _, state, _, rx in tcp_sockets() if local == port and state == TCP_LISTEN)


def live_connections(*ports):
    return [s for s in tcp_sockets()
            if (s[0] in ports or s[1] in ports) and s[2] not in (TCP_LISTEN, TCP_TIME_WAIT, TCP_CLOSE)]


def quiet(listen_port, dest_port):
    """Every connection through the relay is over and nothing waits to be accepted."""
    return accept_backlog(listen_port) == 0 and not live_connections(listen_port, dest_port)


def free_port(rng, preferred=None):
    # Below the ephemeral range, so that no outgoing connection takes it in the meantime.
    busy = {s[0] for s in tcp_sockets()}
    for attempt in range(200):
        port = preferred if attempt == 0 and preferred else rng.randrange(20000, 32000)
        if port in busy:
            continue
        with socket.socket() as probe:
            try:
                probe.bind(("0.0.0.0", port))
            except OSError:
                continue
        return port
    raise Failure("no free port found")


# ---- the display and the keyboard ----------------------------------------------------------------

class Display:
    def __init__(self, processes, work):
        read_end, write_end = os.pipe()
        self.server = processes.start(
            "Xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24", "-nolisten", "tcp",
                     "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "xvfb.log"), "wb"))
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 15
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 0.5)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        if not number.strip().isdigit():
            raise Failure("Xvfb did not report its display number")
        self.name = ":" + number.decode().strip()
        self.env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "XAUTHORITY")}
        self.env.update(DISPLAY=self.name, QT_QPA_PLATFORM="xcb")

    def xdotool(self, *args, timeout=20):
        try:
            result = subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True,
                                    timeout=min(timeout, max(remaining(), 1)))
        except subprocess.TimeoutExpired:
            raise Failure(f"xdotool {' '.join(args)} did not finish within {timeout}s")
        if result.returncode != 0:
            raise Failure(f"xdotool {' '.join(args)} failed: {result.stderr.strip()}")
        return result.stdout

    def screenshot(self, window, path):
        subprocess.run(["import", "-window", window, path], env=self.env, check=True, timeout=30,
                       capture_output=True)


class Keyboard:
    """Tab and Space as a person uses them; keeps track of where the focus is, as the person
    would see it, with the disabled tab stops on the way given at each move."""

    def __init__(self, display):
        self.display = display
        self.focus = IDOK

    def keys(self, *keys):
        if keys:
            self.display.xdotool("key", "--delay", "30", *keys)

    def go(self, target, disabled=(), backwards=False):
        skip = NEVER_ENABLED | set(disabled)
        if target in skip:
            raise Failure(f"control {target} cannot take the focus")
        step = -1 if backwards else 1
        index = TAB_CHAIN.index(self.focus)
        presses = 0
        while self.focus != target and presses < len(TAB_CHAIN):
            index = (index + step) % len(TAB_CHAIN)
            if TAB_CHAIN[index] not in skip:
                presses += 1
                self.focus = TAB_CHAIN[index]
        self.keys(*(["shift+Tab" if backwards else "Tab"] * presses))

    def press(self):
        self.keys("space")

    def type_into(self, text):
        self.keys("ctrl+a")
        self.display.xdotool("type", "--delay", "30", text)

    def focus_moved_on(self, disabled):
        """The focused control has just been disabled: Qt hands the focus to the next enabled tab
        stop, with no key pressed."""
        skip = NEVER_ENABLED | set(disabled)
        index = TAB_CHAIN.index(self.focus)
        for _ in TAB_CHAIN:
            index = (index + 1) % len(TAB_CHAIN)
            if TAB_CHAIN[index] not in skip:
                self.focus = TAB_CHAIN[index]
                return


# ---- the test -----------------------------------------------------------------------------------

# Locked by "Listen" for as long as the relay listens.
LOCKED = {LISTEN_PORT, DEST_PORT, DEST_HOST, LISTEN}


class AcceptanceRun:
    def __init__(self, brindle, build_dir, work, processes):
        self.brindle_path = brindle
        self.build_dir = build_dir
        self.work = work
        self.processes = processes
        self.display = None
        self.window = None
        self.scratch = []  # directories outside WORK_DIR, removed whatever the outcome
        rng = random.SystemRandom()
        # The README's picture shows the ports of its walkthrough when they are free.
        picture = bool(os.environ.get("BRINDLE_SCREENSHOT"))
        self.dest_port = free_port(rng, 8000 if picture else None)
        self.listen_port = free_port(rng, 8080 if picture else None)
        while self.listen_port == self.dest_port:
            self.listen_port = free_port(rng)

    def path(self, name):
        return os.path.join(self.work, name)

    def url(self, name):
        return f"http://127.0.0.1:{self.listen_port}/{name}"

    # -- peers

    def fill_site(self):
        self.site = self.path("site")
        os.makedirs(self.site)
        with open(os.path.join(self.site, "page.html"), "w") as page:
            page.write(PAGE)
        # Every byte value, many times over, in an order no compressor or escaper can shortcut.
        with open(os.path.join(self.site, "bulk.bin"), "wb") as bulk:
            bulk.write(random.Random(20260).randbytes(4 * 1024 * 1024 + 12345))
        with open(os.path.join(self.site, "manual.txt"), "wb") as manual:
            manual.write(MANUAL_BODY)

    def start_http_server(self):
        self.http_log = self.path("http_server.log")
        self.processes.start(
            "http.server",
            [sys.executable, "-m", "http.server", str(self.dest_port), "--bind", "127.0.0.1", "--directory",
             self.site],
            env=dict(os.environ, PYTHONUNBUFFERED="1"), stdout=subprocess.DEVNULL,
            stderr=open(self.http_log, "wb"))
        wait_for(lambda: listening(self.dest_port), 15, "python's http.server to listen")

    def server_saw(self, name):
        with open(self.http_log, errors="replace") as log_file:
            return log_file.read().count(f'"GET /{name} ')

    def curl(self, name, out):
        result = subprocess.run(["curl", "-sS", "--max-time", "30", "-o", out, self.url(name)],
                                capture_output=True, text=True, timeout=min(40, max(remaining(), 1)))
        if result.returncode != 0:
            raise Failure(f"curl {name} through the relay failed ({result.returncode}): {result.stderr.strip()}")

    def same_file(self, expected, actual):
        return subprocess.run(["cmp", expected, actual], capture_output=True).returncode == 0

    # -- the program

    def start_brindle(self):
        self.display = Display(self.processes, self.work)
        self.brindle_log = self.path("brindle.log")
        self.brindle = self.processes.start(
            "brindle", [self.brindle_path], env=self.display.env, stdout=subprocess.DEVNULL,
            stderr=open(self.brindle_log, "wb"))
        found = self.display.xdotool("search", "--sync", "--onlyvisible", "--name", "^Windows Brindle$", timeout=30)
        self.window = found.split()[0]
        # The person clicks the window to bring it to the front; without a window manager,
        # setting the input focus is the whole of that.
        self.display.xdotool("windowfocus", "--sync", self.window)
        self.keyboard = Keyboard(self.display)

    def listen_with_auto(self):
        kb = self.keyboard
        kb.go(LISTEN_PORT)
        kb.type_into(str(self.listen_port))
        kb.go(DEST_PORT)
        kb.type_into(str(self.dest_port))
        kb.go(DEST_HOST)
        kb.type_into("127.0.0.1")
        # Nothing is connected yet: both "Send" buttons and the server "Disconnect" are disabled.
        idle = {CLIENT_SEND, SERVER_SEND, SERVER_DISCONNECT}
        kb.go(CLIENT_AUTO, idle)
        kb.press()
        auto = idle | {CONNECT, CLIENT_DISCONNECT}
        kb.go(SERVER_AUTO, auto)
        kb.press()
        kb.go(LISTEN, auto, backwards=True)
        kb.press()
        kb.focus_moved_on(auto | LOCKED)
        wait_for(lambda: listening(self.listen_port), 10, '"Listen" to start listening')
        log(f"listening on {self.listen_port}, relaying to http.server on {self.dest_port}")

    def fetch_with_auto(self):
        self.fetch_with_curl()
        self.fetch_with_chromium()

    def fetch_with_curl(self):
        page_out = self.path("page.out")
        self.curl("page.html", page_out)
        if not self.same_file(os.path.join(self.site, "page.html"), page_out):
            raise Failure("the page curl fetched through the relay differs from the one served")
        log("curl: page arrived whole")

        bulk_out = self.path("bulk.out")
        began = time.monotonic()
        self.curl("bulk.bin", bulk_out)
        if not self.same_file(os.path.join(self.site, "bulk.bin"), bulk_out):
            raise Failure("the binary file curl fetched through the relay differs from the one served")
        log(f"curl: {os.path.getsize(bulk_out)} binary bytes arrived byte-exact in {time.monotonic() - began:.1f}s")

    def fetch_with_chromium(self):
        # Short, in the system's temporary directory: Chromium's singleton socket path lives
        # under it and must fit in a socket address.
        profile = tempfile.mkdtemp(prefix="brindle-chromium-")
        self.scratch.append(profile)
        dom_out = self.path("dom.html")
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(HOME=profile, XDG_CONFIG_HOME=profile, XDG_CACHE_HOME=profile, TMPDIR=profile)
        chromium = self.processes.start(
            "chromium",
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             f"--user-data-dir={profile}", "--dump-dom", self.url("page.html")],
            env=env, stdout=open(dom_out, "wb"), stderr=open(self.path("chromium.log"), "wb"))
        try:
            code = chromium.wait(timeout=min(45, max(remaining(), 1)))
        except subprocess.TimeoutExpired:
            raise Failure("Chromium did not finish loading the page through the relay")
        finally:
            # Its helpers may linger, holding connections the relay would still have to serve.
            self.processes.stop(chromium)
        with open(dom_out, errors="replace") as dom:
            if code != 0 or MARKER not in dom.read():
                raise Failure(f"Chromium's page through the relay lacks the marker (exit {code})")
        log("chromium: the page's DOM arrived")

        # Chromium may have opened spare connections; the relay serves each in turn.
        wait_for(lambda: quiet(self.listen_port, self.dest_port), 30, "every relayed connection to end")

    def relay_socket_to_client(self):
        return [s for s in tcp_sockets() if s[0] == self.listen_port and s[2] == TCP_ESTABLISHED]

    def exchange_by_hand(self):
        kb = self.keyboard
        # All connections are over: the last one's teardown left "Connect" and both
        # "Disconnect" buttons enabled and both "Send" buttons disabled.
        kb.go(CLIENT_AUTO, LOCKED | {CLIENT_SEND, SERVER_SEND}, backwards=True)
        kb.press()
        kb.go(SERVER_AUTO, LOCKED | {SERVER_SEND})
        kb.press()
        # Empty views, so that the picture shows this exchange alone.
        kb.go(CLIENT_CLEAR)
        kb.press()
        kb.go(SERVER_CLEAR)
        kb.press()

        trace = self.path("manual.trace")
        body_out = self.path("manual.out")
        curl = self.processes.start(
            "curl", ["curl", "-sS", "--max-time", "60", "--trace-ascii", trace, "--trace-time", "-o", body_out,
                     self.url("manual.txt")],
            stdout=subprocess.DEVNULL, stderr=open(self.path("manual_curl.log"), "wb"))

        def request_read():
            # curl has sent, the relay has accepted and read every byte of it.
            if not os.path.exists(trace) or "=> Send header" not in open(trace, errors="replace").read():
                return False
            mine = self.relay_socket_to_client()
            return accept_backlog(self.listen_port) == 0 and mine and all(s[4] == 0 for s in mine)

        wait_for(request_read, 15, "the relay to take curl's request")
        kb.go(CONNECT, backwards=True)
        kb.press()
        kb.focus_moved_on(LOCKED | {CONNECT})
        wait_for(lambda: accept_backlog(self.dest_port) == 0
                 and any(s[1] == self.dest_port and s[2] == TCP_ESTABLISHED for s in tcp_sockets()),
                 15, '"Connect" to reach the server')
        hold_still(1.5)
        if self.server_saw("manual.txt"):
            raise Failure('the request reached the server before the client "Send" was pressed')
        log("manual: connected, and the server has had nothing for 1.5s")

        kb.go(CLIENT_SEND, LOCKED | {CONNECT}, backwards=True)
        kb.press()
        wait_for(lambda: self.server_saw("manual.txt"), 10, 'the request to reach the server after "Send"')
        # The reply and the server's close are read in; with the server "Auto" box clear, the
        # client stays connected and hears nothing.
        wait_for(lambda: not live_connections(self.dest_port), 10, "the relay to read the reply and the close")
        kb.focus_moved_on(LOCKED | {CLIENT_SEND})
        hold_still(1.5)
        with open(trace, errors="replace") as trace_text:
            heard = "<= Recv" in trace_text.read()
        heard = heard or (os.path.exists(body_out) and os.path.getsize(body_out) > 0)
        if heard or curl.poll() is not None:
            raise Failure(f'curl heard back before the server "Send" was pressed (exit {curl.poll()})')
        log("manual: request forwarded on Send; curl has had nothing for 1.5s")

        kb.go(SERVER_SEND, LOCKED | {CLIENT_SEND})
        kb.press()
        try:
            code = curl.wait(timeout=min(15, max(remaining(), 1)))
        except subprocess.TimeoutExpired:
            raise Failure('the reply did not reach curl after the server "Send"')
        if code != 0 or open(body_out, "rb").read() != MANUAL_BODY:
            raise Failure(f"curl's reply after the server \"Send\" is wrong (exit {code})")
        wait_for(lambda: quiet(self.listen_port, self.dest_port), 10, "the manual exchange to end")
        log("manual: reply delivered on Send")

    def screenshot(self):
        shot = os.path.join(self.build_dir, "screenshot.png")
        self.display.screenshot(self.window, shot)
        measured = subprocess.run(["convert", shot, "-format", "%k %[fx:standard_deviation]", "info:"],
                                  capture_output=True, text=True, timeout=30)
        try:
            colours, deviation = measured.stdout.split()
            colours, deviation = int(colours), float(deviation)
        except ValueError:
            raise Failure(f"could not measure the screenshot: {measured.stdout} {measured.stderr}")
        # A blank or single-colour capture has a deviation near zero and a handful of colours.
        if colours < 32 or deviation < 0.05:
            raise Failure(f"the screenshot looks blank ({colours} colours, deviation {deviation:.3f})")
        log(f"screenshot: {shot} ({colours} colours, deviation {deviation:.3f})")
        self.keep_screenshot(shot)

    def hex_screenshot(self):
        """Ctrl+H in the view of what the server sent shows the hex dump of its bytes, pictured for the
        README; Ctrl+H again brings the text back."""
        kb = self.keyboard
        kb.focus_moved_on(LOCKED | {CLIENT_SEND, SERVER_SEND})
        kb.go(TO_CLIENT_VIEW, LOCKED | {CLIENT_SEND, SERVER_SEND}, backwards=True)
        kb.keys("ctrl+h")
        time.sleep(1.0)
        shot = os.path.join(self.build_dir, "screenshot-hex.png")
        self.display.screenshot(self.window, shot)
        self.keep_screenshot(shot, "BRINDLE_HEX_SCREENSHOT")
        kb.keys("ctrl+h")
        time.sleep(0.5)
        log(f"hex view: {shot}")

    @staticmethod
    def keep_screenshot(shot, variable="BRINDLE_SCREENSHOT"):
        """Copied to $BRINDLE_SCREENSHOT (or the variable named) when that is set, for the README's
        pictures."""
        target = os.environ.get(variable)
        if target:
            shutil.copyfile(shot, target)
            log(f"screenshot copied to {target}")

    def close_with_escape(self):
        self.keyboard.keys("Escape")
        try:
            code = self.brindle.wait(timeout=10)
        except subprocess.TimeoutExpired:
            raise Failure("Escape did not end the program")
        if code != 0:
            raise Failure(f"the program exited with {code} after Escape")
        log("Escape ended the program with status 0")

    def run(self):
        self.fill_site()
        self.start_http_server()
        self.start_brindle()
        self.listen_with_auto()
        self.fetch_with_auto()
        self.exchange_by_hand()
        self.screenshot()
        self.hex_screenshot()
        self.close_with_escape()

    def diagnose(self):
        if self.display and self.window:
            try:
                shot = os.path.join(self.build_dir, "failure.png")
                self.display.screenshot(self.window, shot)
                print(f"the window at the failure: {shot}")
            except (subprocess.SubprocessError, OSError):
                pass
        for name in ("brindle.log", "http_server.log", "manual_curl.log", "chromium.log", "xvfb.log"):
            path = self.path(name)
            if os.path.exists(path):
                with open(path, errors="replace") as text:
                    tail = text.read()[-1500:]
                if tail.strip():
                    print(f"--- {name} (tail)\n{tail}")


def missing_tool():
    for tool in ("Xvfb", "xdotool", "chromium", "curl", "import", "convert", "cmp"):
        if shutil.which(tool) is None:
            return tool
    return None


def main(argv):
    if len(argv) != 3:
        print(__doc__)
        return 2
    brindle, build_dir = os.path.abspath(argv[1]), os.path.abspath(argv[2])
    tool = missing_tool()
    if tool:
        print(f"SKIP: {tool} is not installed (tools/install_deps.sh --tests installs it)")
        return SKIP

    def on_signal(number, _frame):
        raise SystemExit(128 + number)

    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(number, on_signal)

    os.makedirs(build_dir, exist_ok=True)
    work = tempfile.mkdtemp(prefix="acceptance-", dir=build_dir)
    processes = Processes()
    run = None
    try:
        run = AcceptanceRun(brindle, build_dir, work, processes)
        run.run()
    except (Failure, OSError, subprocess.SubprocessError) as failure:
        print(f"FAIL: {failure}")
        if run:
            run.diagnose()
        print(f"(files kept in {work})")
        return 1
    finally:
        processes.stop_all()
        for directory in run.scratch if run else ():
            shutil.rmtree(directory, ignore_errors=True)
    shutil.rmtree(work, ignore_errors=True)
    log("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
