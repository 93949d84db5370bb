#!/usr/bin/python3
"""A screen reader's view of the relay window during a transfer: another process that reads a
status line's text over the accessibility bus every 50 ms and times each answer.

  atspi_probe.py APP_NAME OUT_PATH [--log]

Finds the application APP_NAME on the accessibility bus of the session (DBUS_SESSION_BUS_ADDRESS),
takes its first status line, and from then on asks for that line's text (Text.GetText, one round
trip to the window each time) every 50 ms until SIGTERM or SIGINT. It prints "probing" once it has
found the line, and on the way out writes one line to OUT_PATH:

  queries=N longest_ms=L median_ms=M over_150=K

--log adds a line a query on stderr: when it started (CLOCK_MONOTONIC, ms) and how long it took.

The system's Python runs it: pyatspi is a package of the system's Python (python3-pyatspi).
"""

import signal
import statistics
import sys
import time

PERIOD_S = 0.05
FIND_BUDGET_S = 30


def find_status_line(pyatspi, app_name):
    deadline = time.monotonic() + FIND_BUDGET_S
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in (desktop[i] for i in range(desktop.childCount)):
            if app is None or app.name != app_name:
                continue
            line = pyatspi.findDescendant(app, lambda acc: acc.getRole() == pyatspi.ROLE_STATUS_BAR)
            if line is not None:
                return line
        time.sleep(0.2)
    return None


def main():
    if len(sys.argv) not in (3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    app_name, out_path = sys.argv[1], sys.argv[2]
    import pyatspi

    stopping = []
    for number in (signal.SIGTERM, signal.SIGINT):
        signal.signal(number, lambda *_: stopping.append(True))

    line = find_status_line(pyatspi, app_name)
    if line is None:
        print(f"failed: no status line of {app_name} on the accessibility bus", flush=True)
        return 1
    text = line.queryText()
    log_queries = "--log" in sys.argv
    print("probing", flush=True)
    answers = []
    while not stopping:
        start = time.monotonic()
        try:
            text.getText(0, -1)
        except Exception as error:  # a call that timed out or failed counts as unanswered
            print(f"query failed: {error}", file=sys.stderr, flush=True)
            answers.append(float("inf"))
        else:
            answers.append((time.monotonic() - start) * 1000)
            if log_queries:
                print(f"query start_ms {start * 1000:.1f} took_ms {answers[-1]:.1f}", file=sys.stderr, flush=True)
        time.sleep(max(0.0, PERIOD_S - (time.monotonic() - start)))
    with open(out_path, "w") as out:
        if answers:
            out.write(f"queries={len(answers)} longest_ms={max(answers):.1f} "
                      f"median_ms={statistics.median(answers):.1f} "
                      f"over_150={sum(1 for a in answers if a > 150)}\n")
        else:
            out.write("queries=0 longest_ms=0 median_ms=0 over_150=0\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
