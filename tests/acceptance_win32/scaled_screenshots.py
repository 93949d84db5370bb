#!/usr/bin/env python3
"""The README's pictures of the Windows program at 100 % and 200 %: brindle.exe under Wine, in a
virtual desktop on Xvfb, with the prefix's display at 96 and at 192 dots an inch, after curl has
fetched a page through it with both "Auto" boxes ticked; the dialog is cut out of each picture.
Driven as relay_window_wine_test.py drives it.

Usage: scaled_screenshots.py BRINDLE_EXE OUT_DIR WINE WINESERVER
  writes OUT_DIR/screenshot-windows-100.png and OUT_DIR/screenshot-windows-200.png
"""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "acceptance"))
import relay_window_test as common  # noqa: E402
import relay_window_wine_test as wine_test  # noqa: E402

from relay_window_test import Failure, log, wait_for  # noqa: E402


class LargeDisplay(common.Display):
    """Xvfb with room for the dialog at 200 %."""

    def __init__(self, processes, work):
        real_start = processes.start

        def start(name, args, **kwargs):
            if name == "Xvfb":
                args = [a if a != "1280x800x24" else "2400x1600x24" for a in args]
            return real_start(name, args, **kwargs)

        processes.start = start
        try:
            super().__init__(processes, work)
        finally:
            processes.start = real_start


class ScaledRun(wine_test.WineAcceptanceRun):
    def __init__(self, dpi, out, *args):
        super().__init__(*args, None)
        self.dpi = dpi
        self.out = out

    def start_brindle(self):
        # A fresh prefix at the scale, then the relay window test's start on the same display.
        display = LargeDisplay(self.processes, self.work)
        self.display = display
        env = self.wine_env()
        subprocess.run([self.wine, "wineboot", "--init"], env=env, capture_output=True, timeout=180, check=True)
        subprocess.run([self.wine, "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t",
                        "REG_DWORD", "/d", str(self.dpi), "/f"], env=env, capture_output=True, timeout=60, check=True)
        make_display = common.Display
        common.Display = lambda *_: display
        wine_test.DESKTOP = "brindle,2200x1500"
        try:
            super().start_brindle()
        finally:
            common.Display = make_display

    def run(self):
        self.fill_site()
        self.start_http_server()
        self.start_brindle()
        self.listen_with_auto()
        self.curl("page.html", self.path("page.out"))
        wait_for(lambda: common.quiet(self.listen_port, self.dest_port), 30, "the relayed connection to end")
        full = self.capture("desktop")
        shot = os.path.join(self.out, f"screenshot-windows-{self.dpi * 100 // 96}.png")
        subprocess.run(["convert", full, "-trim", "+repage", shot], env=self.display.env, check=True, timeout=30,
                       capture_output=True)
        log(f"{shot} at {self.dpi} dpi")
        self.close_with_escape()


def main(argv):
    if len(argv) != 5:
        print(__doc__)
        return 2
    brindle, out, wine, wineserver = os.path.abspath(argv[1]), os.path.abspath(argv[2]), argv[3], argv[4]
    for dpi in (96, 192):
        work = tempfile.mkdtemp(prefix="screenshots-wine-")
        processes = common.Processes()
        run = None
        try:
            run = ScaledRun(dpi, out, brindle, work, work, processes, wine, wineserver)
            run.run()
        except (Failure, OSError, subprocess.SubprocessError) as failure:
            print(f"FAIL: {failure} (files kept in {work})")
            return 1
        finally:
            if run:
                run.stop_wine()
            processes.stop_all()
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
