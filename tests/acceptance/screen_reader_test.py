#!/usr/bin/env python3
"""The real program read and driven as a screen reader does: through the accessibility bus
(AT-SPI) in a private D-Bus session, on Xvfb, relaying between a raw loopback client and python's
http.server.

Usage: screen_reader_test.py BRINDLE

Exits 77 (skipped) when Xvfb, xdotool, dbus-daemon, the AT-SPI bus launcher or python3-pyatspi is missing.
"""

import ctypes
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

SKIP = 77
TEST_BUDGET_S = 90
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
# pyatspi is a package of the system's Python.
SYSTEM_PYTHON = "/usr/bin/python3"

started_at = time.monotonic()


class Failure(Exception):
    pass


def log(message):
    print(f"[{time.monotonic() - started_at:6.1f}s] {message}", flush=True)


def _die_with_parent():
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def start(args, **kwargs):
    return subprocess.Popen(args, start_new_session=True, preexec_fn=_die_with_parent, **kwargs)


def stop(process):
    if process.poll() is None:
        os.killpg(process.pid, signal.SIGTERM)
        try:
            process.wait(timeout=3)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait(timeout=5)


def read_line(fd, what, timeout=15):
    text = b""
    deadline = time.monotonic() + timeout
    while not text.endswith(b"\n") and time.monotonic() < deadline:
        if select.select([fd], [], [], 0.5)[0]:
            chunk = os.read(fd, 256)
            if not chunk:
                break
            text += chunk
    if not text.endswith(b"\n"):
        raise Failure(f"{what} did not start")
    return text.decode().strip()


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def private_session(children, work):
    """Xvfb, a session bus and the accessibility bus on it; returns the environment to use."""
    read_end, write_end = os.pipe()
    # -noreset: the bus launcher's visit to the display must not reset it under the program.
    children.append(start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24", "-noreset",
                           "-nolisten", "tcp"],
                          pass_fds=(write_end,), stderr=open(os.path.join(work, "xvfb.log"), "wb")))
    os.close(write_end)
    display = ":" + read_line(read_end, "Xvfb")
    os.close(read_end)

    read_end, write_end = os.pipe()
    children.append(start(["dbus-daemon", "--session", "--nofork", f"--print-address={write_end}"],
                          pass_fds=(write_end,), stderr=open(os.path.join(work, "dbus.log"), "wb")))
    os.close(write_end)
    bus = read_line(read_end, "the session bus")
    os.close(read_end)

    env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "XAUTHORITY", "AT_SPI_BUS_ADDRESS")}
    env.update(DISPLAY=display, DBUS_SESSION_BUS_ADDRESS=bus, QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    children.append(start([BUS_LAUNCHER, "--launch-immediately"], env=env,
                          stderr=open(os.path.join(work, "at-spi.log"), "wb")))
    return env


class ScreenReader:
    """What a reader sees of the window, with the name and text events it hears."""

    def __init__(self, pyatspi, GLib):
        self.pyatspi = pyatspi
        self.context = GLib.MainContext.default()
        self.heard = []  # (event type, caption of the status line, what it carried)
        for kind in ("object:property-change:accessible-name", "object:text-changed:insert"):
            pyatspi.Registry.registerEventListener(self.on_event, kind)

    def on_event(self, event):
        if event.source.getRole() == self.pyatspi.ROLE_STATUS_BAR:
            # A name change carries the name in its source, an insertion the text inserted.
            carried = event.source.name if event.type.endswith("accessible-name") else str(event.any_data)
            self.heard.append((event.type, self.caption(event.source), carried))

    def caption(self, line):
        for relation in line.getRelationSet():
            if relation.getRelationType() == self.pyatspi.RELATION_LABELLED_BY:
                return relation.getTarget(0).name
        return None

    def wait_for(self, condition, what, timeout=15):
        deadline = time.monotonic() + min(timeout, max(TEST_BUDGET_S - (time.monotonic() - started_at), 1))
        while time.monotonic() < deadline:
            for _ in range(1000):  # what has arrived, the reader's events included
                if not self.context.iteration(False):
                    break
            result = condition()
            if result:
                return result
            time.sleep(0.05)
        raise Failure(f"timed out waiting for {what}")

    def window(self):
        desktop = self.pyatspi.Registry.getDesktop(0)
        for app in (desktop[i] for i in range(desktop.childCount)):
            if app is not None and app.name == "brindle":
                for frame in (app[i] for i in range(app.childCount)):
                    if frame is not None and frame.name == "Windows Brindle":
                        return frame
        return None

    def controls(self, window):
        window.clearCache()
        # Those on show: the views' find bars wait hidden until asked for.
        return self.pyatspi.findAllDescendants(window, lambda acc: acc.getRole() in (
            self.pyatspi.ROLE_PUSH_BUTTON, self.pyatspi.ROLE_CHECK_BOX, self.pyatspi.ROLE_TEXT,
            self.pyatspi.ROLE_STATUS_BAR) and acc.getState().contains(self.pyatspi.STATE_SHOWING))


class Window:
    def __init__(self, reader, frame):
        self.reader = reader
        self.pyatspi = reader.pyatspi
        self.frame = frame
        self.by_name = {}
        self.status = {}  # caption -> status line
        for control in reader.controls(frame):
            if control.getRole() == self.pyatspi.ROLE_STATUS_BAR:
                self.status[reader.caption(control)] = control
            else:
                # The "Clear" box and button of a group share a name; neither is driven here.
                self.by_name.setdefault(control.name, control)

    def state(self, name, state):
        control = self.by_name[name]
        control.clearCache()
        return control.getState().contains(state)

    def enabled(self, name):
        return self.state(name, self.pyatspi.STATE_SENSITIVE)

    def act(self, name, action):
        actions = self.by_name[name].queryAction()
        names = [actions.getName(i) for i in range(actions.nActions)]
        if action not in names:
            raise Failure(f'"{name}" offers no {action} action, only {names}')
        actions.doAction(names.index(action))

    def type_into(self, name, text):
        self.by_name[name].queryEditableText().setTextContents(text)

    def status_text(self, caption):
        line = self.status[caption]
        return line.queryText().getText(0, -1), line.name

    def view_text(self, name):
        return self.by_name[name].queryText().getText(0, -1)

    def expect_status(self, caption, text):
        """The line reads `text` by name and by text, and the reader heard it arrive."""
        self.reader.wait_for(lambda: self.status_text(caption) == (text, text), f'"{caption}" to read "{text}"')
        self.reader.wait_for(
            lambda: ("object:property-change:accessible-name", caption, text) in self.reader.heard
            and ("object:text-changed:insert", caption, text) in self.reader.heard,
            f'the reader to hear "{caption} {text}" (heard {self.reader.heard})')
        log(f'heard "{caption} {text}"')


EXPECTED_NAMES = [
    "OK", "Cancel", "Listen Port", "Destination Port", "Destination Host", "Listen", "Path", "Load",
    "Connect", "Stop Server", "Local Client (to remote server)", "Local Server (to remote client)",
    "Local Client Auto", "Local Server Auto", "Local Client CRLF", "Local Server CRLF",
    "Local Client Clear", "Local Server Clear", "Local Client Buffers", "Local Server Buffers",
    "Local Client Send", "Local Server Send", "Local Client Disconnect", "Local Server Disconnect",
    "Local Client Reset", "Local Server Reset", "Local Client Sent bytes", "Local Server Sent bytes",
    "Local Client Received bytes", "Local Server Received bytes",
]
CLIENT_STATUS, SERVER_STATUS = "Local client status:", "Local server status:"


def check_names(window):
    missing = [name for name in EXPECTED_NAMES if name not in window.by_name]
    if missing or "" in window.by_name:
        raise Failure(f"controls without their names: {missing}; all names: {sorted(window.by_name)}")
    if sorted(window.status) != [CLIENT_STATUS, SERVER_STATUS]:
        raise Failure(f"status lines labelled by {sorted(window.status, key=str)}")
    uncaptioned = [name for name, control in window.by_name.items()
                   if control.getRole() == window.pyatspi.ROLE_TEXT and not window.reader.caption(control)]
    if uncaptioned:
        raise Failure(f"fields and views labelled by no caption: {uncaptioned}")
    for caption in window.status:
        if window.status_text(caption) != ("Idle", "Idle"):
            raise Failure(f'"{caption}" reads {window.status_text(caption)} at the start')
    log(f"{len(window.by_name)} controls and both status lines read by their names")


def check_auto_boxes(window):
    """Ticked through the reader's Toggle action, each box runs its handler: client "Auto"
    disables "Connect", "Send" and "Disconnect" of its group; unticked, it gives back "Connect"
    and "Send" ("Disconnect" waits for a connection). Server "Auto" ticks and clears the same way."""
    for ticked in (True, False):
        window.act("Local Client Auto", "Toggle")
        window.reader.wait_for(lambda: window.state("Local Client Auto", window.pyatspi.STATE_CHECKED) == ticked,
                               "client Auto to change")
        window.reader.wait_for(
            lambda: all(window.enabled(name) != ticked for name in ("Connect", "Local Client Send"))
            and not window.enabled("Local Client Disconnect"),
            f'client "Auto" {"ticked" if ticked else "cleared"} to set its buttons')
        window.act("Local Server Auto", "Toggle")
        window.reader.wait_for(lambda: window.state("Local Server Auto", window.pyatspi.STATE_CHECKED) == ticked,
                               "server Auto to change")
    log('both "Auto" boxes toggled twice through their actions; the client buttons followed')


def check_find(window, env):
    """Ctrl+F in a view opens its find field, read by its name; Enter selects the match in the
    view's text as shown (case aside, unless asked), a missing text reads "Not found", and Escape
    gives the focus back."""
    view = window.by_name["Local Client (to remote server)"]
    view.queryComponent().grabFocus()
    window.reader.wait_for(lambda: window.state("Local Client (to remote server)", window.pyatspi.STATE_FOCUSED), "the view's focus")

    def press(keys):
        subprocess.run(["xdotool", "key", "--clearmodifiers", keys], env=env, check=True, timeout=10)

    def find_bar(role, name):
        # The bar stands beside its view in the window; the other view's bar stays hidden.
        found = window.pyatspi.findAllDescendants(view.parent, lambda acc: acc.getRole() == role and acc.name == name
                                                  and acc.getState().contains(window.pyatspi.STATE_SHOWING))
        return found[0] if found else None

    press("ctrl+f")
    field = window.reader.wait_for(lambda: find_bar(window.pyatspi.ROLE_TEXT, "Find"), 'the field "Find"')
    window.reader.wait_for(lambda: field.getState().contains(window.pyatspi.STATE_FOCUSED), "the find field's focus")

    def selected():
        text = view.queryText()
        if text.getNSelections() != 1:
            return None
        start, end = text.getSelection(0)
        return text.getText(start, end)

    for needle, expected, status in (("hello.TXT", "hello.txt", None),
                                     ("no such request", None, "Not found")):
        field.queryEditableText().setTextContents(needle)
        press("Return")
        if expected is not None:
            window.reader.wait_for(lambda: selected() == expected, f'"{expected}" selected (got {selected()!r})')
        else:
            window.reader.wait_for(lambda: find_bar(window.pyatspi.ROLE_STATUS_BAR, status), f'"{status}" read out')
    press("Escape")
    window.reader.wait_for(lambda: window.state("Local Client (to remote server)", window.pyatspi.STATE_FOCUSED)
                           and find_bar(window.pyatspi.ROLE_TEXT, "Find") is None, "Escape to close the find field")
    log("find: the field read by its name, the match selected, \"Not found\" read out, Escape closed it")


def check_hex(window, env):
    """The view's context menu (Shift+F10) has "Hex": chosen by its key, the view reads as the dump of
    its bytes, line by line, and a reader hears "Hex view"; Ctrl+H brings the text back. (Qt 6.4 puts
    no popup menu on the bus, so the menu is driven from the keyboard.)"""
    name = "Local Client (to remote server)"
    view = window.by_name[name]
    view.queryComponent().grabFocus()
    window.reader.wait_for(lambda: window.state(name, window.pyatspi.STATE_FOCUSED), "the view's focus")
    pyatspi = window.pyatspi

    def press(keys):
        subprocess.run(["xdotool", "key", "--clearmodifiers", keys], env=env, check=True, timeout=10)

    def showing(role_names, item_name):
        found = pyatspi.findAllDescendants(view.parent, lambda acc: acc.name == item_name
                                           and acc.getRoleName() in role_names
                                           and acc.getState().contains(pyatspi.STATE_SHOWING))
        return found[0] if found else None

    press("shift+F10")
    press("h")
    first = "000000000000  47 45 54 20 2f 68 65 6c  6c 6f 2e 74 78 74 20 48  GET /hello.txt H"
    window.reader.wait_for(lambda: window.view_text(name).startswith(first), "the dump of the request in the view")
    text = view.queryText()
    line, start, end = text.getTextAtOffset(0, pyatspi.TEXT_BOUNDARY_LINE_START)
    second, _, _ = text.getTextAtOffset(end, pyatspi.TEXT_BOUNDARY_LINE_START)
    if line.rstrip("\n") != first or not second.startswith("000000000010  54 54 50 2f 31 2e 30 0d  0a 0d 0a"):
        raise Failure(f"the dump reads line by line as {line!r}, {second!r}")
    window.reader.wait_for(lambda: showing(("status bar",), "Hex view"), '"Hex view" read out')
    press("ctrl+h")
    window.reader.wait_for(lambda: window.view_text(name).startswith("GET /hello.txt HTTP/1.0"),
                           "Ctrl+H to bring the text back")
    log('"Hex" from the context menu: the dump read line by line, "Hex view" read out; Ctrl+H back to the text')


def relay(window, listen_port, dest_port):
    window.type_into("Listen Port", str(listen_port))
    window.type_into("Destination Port", str(dest_port))
    window.type_into("Destination Host", "127.0.0.1")
    window.act("Listen", "Press")
    window.expect_status(SERVER_STATUS, "Listening...")

    client = socket.create_connection(("127.0.0.1", listen_port), timeout=10)
    with client:
        window.expect_status(SERVER_STATUS, "Connected!")
        client.sendall(b"GET /hello.txt HTTP/1.0\r\n\r\n")
        window.reader.wait_for(lambda: "GET /hello.txt HTTP/1.0" in window.view_text("Local Client (to remote server)"),
                               "the request in the view to the server")
        window.act("Connect", "Press")
        window.expect_status(CLIENT_STATUS, "Connected!")
        window.act("Local Client Send", "Press")
        # http.server replies and closes.
        window.expect_status(CLIENT_STATUS, "Connection gracefully terminated.")
        window.reader.wait_for(lambda: "Hello through the bus" in window.view_text("Local Server (to remote client)"),
                               "the reply in the view to the client")
        window.act("Local Server Send", "Press")
        reply = b""
        deadline = time.monotonic() + 10
        while b"Hello through the bus" not in reply and time.monotonic() < deadline:
            chunk = client.recv(4096)
            if not chunk:
                break
            reply += chunk
        if b"Hello through the bus" not in reply:
            raise Failure(f"the client got {reply!r}")
    window.expect_status(SERVER_STATUS, "Connection gracefully terminated.")


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
        hello.write("Hello through the bus\n")
    dest_port = free_port()
    server = start([SYSTEM_PYTHON, "-m", "http.server", str(dest_port), "--bind", "127.0.0.1", "--directory", site],
                   stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "http.log"), "wb"))
    children.append(server)
    # The reader listens before the program starts, as a screen reader does: a listener registered
    # while the program is still asking the bus which events are wanted might not be heard.
    reader = ScreenReader(pyatspi, GLib)
    program = start([brindle], env=env, stderr=open(os.path.join(work, "brindle.log"), "wb"))
    children.append(program)

    frame = reader.wait_for(reader.window, "the window on the accessibility bus", timeout=30)
    window = Window(reader, frame)
    check_names(window)
    check_auto_boxes(window)
    relay(window, free_port(), dest_port)
    check_find(window, env)
    check_hex(window, env)
    window.act("Cancel", "Press")
    try:
        code = program.wait(timeout=10)
    except subprocess.TimeoutExpired:
        raise Failure('"Cancel" did not end the program')
    if code != 0:
        raise Failure(f"the program exited with {code}")


def unavailable(argv, tools):
    """The first of python3-pyatspi and `tools` missing here, or None. Where only the system's
    Python has pyatspi, the test starts again under it."""
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        if os.path.exists(SYSTEM_PYTHON) and os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON):
            os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON, *argv])
        return "python3-pyatspi"
    return next((tool for tool in tools if shutil.which(tool) is None), None)


def run_test(argv, usage, tools, prefix, run_with, logs):
    """Runs `run_with(brindle, work, children)` in a work folder of its own, with every child it
    started stopped at the end; 0 when it passed, 1 when it failed, SKIP when something is missing."""
    if len(argv) != 2:
        print(usage)
        return 2
    missing = unavailable(argv, tools)
    if missing:
        print(f"SKIP: {missing} is not installed (tools/install_deps.sh --tests installs it)")
        return SKIP

    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(number, lambda n, _frame: sys.exit(128 + n))
    work = tempfile.mkdtemp(prefix=prefix)
    children = []
    try:
        run_with(os.path.abspath(argv[1]), work, children)
    except Failure as failure:
        print(f"FAIL: {failure}")
        for name in logs:
            path = os.path.join(work, name)
            if os.path.exists(path) and os.path.getsize(path):
                print(f"--- {name}\n{open(path, errors='replace').read()[-1500:]}")
        return 1
    finally:
        for child in reversed(children):
            stop(child)
        shutil.rmtree(work, ignore_errors=True)
    log("PASS")
    return 0


def main(argv):
    return run_test(argv, __doc__, ("Xvfb", "xdotool", "dbus-daemon", BUS_LAUNCHER), "screen-reader-", run,
                    ("brindle.log", "at-spi.log", "http.log"))


if __name__ == "__main__":
    sys.exit(main(sys.argv))
