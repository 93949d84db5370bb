#!/usr/bin/env python3
"""The Windows installer under Wine, used as a person would: msiexec /i of an older version, then of
this one, which takes its place; brindle.exe, started from where it was installed, relays curl to
python's http.server with both "Auto" boxes ticked; msiexec /x then removes every file, the Start
menu entry and the installed programs' entry. The window is driven as relay_window_wine_test.py
drives it, in a prefix of the test's own.

Usage: installer_wine_test.py MSI OLDER_MSI ARCH WORK_DIR WINE WINESERVER
  ARCH is win64 or win32 (a 32-bit program installs under "Program Files (x86)" on 64-bit Windows).

Exits 77 (skipped) when Xvfb, xdotool, Wine, curl or ImageMagick is missing.
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

UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
# Wine's msi puts a per-machine package's shortcuts in the user's Start menu; Windows in the one of
# every user. The entry must be in one of them, and in neither once removed.
START_MENUS = [r"ProgramData/Microsoft/Windows/Start Menu/Programs",
               r"users/{user}/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"]


class InstallerRun(wine_test.WineAcceptanceRun):
    def __init__(self, msi, older, arch, build_dir, work, processes, wine, wineserver):
        program_files = "Program Files" if arch == "win64" else "Program Files (x86)"
        # Where the installed programs' entries of this architecture's packages are.
        self.registry_view = "/reg:64" if arch == "win64" else "/reg:32"
        super().__init__(f"C:\\{program_files}\\Brindle\\brindle.exe", build_dir, work, processes, wine, wineserver,
                         None)
        self.msi = msi
        self.older = older
        self.drive_c = os.path.join(self.path("prefix"), "drive_c")
        self.install_dir = os.path.join(self.drive_c, program_files, "Brindle")

    def wine_env(self):
        env = super().wine_env()
        # Wine's menu builder would copy the Start menu entry into this machine's own menus.
        env["WINEDLLOVERRIDES"] += ";winemenubuilder.exe=d"
        return env

    def run_wine(self, *args, timeout=120):
        result = subprocess.run([self.wine, *args], env=self.wine_env(), capture_output=True, text=True,
                                timeout=min(timeout, max(common.remaining(), 1)))
        return result

    def msiexec(self, action, package):
        result = self.run_wine("msiexec", action, package, "/qn")
        if result.returncode != 0:
            raise Failure(f"msiexec {action} {os.path.basename(package)} failed ({result.returncode}):"
                          f" {result.stderr.strip()[-500:]}")

    def installed_versions(self):
        """DisplayVersion of every installed programs' entry named Brindle."""
        versions = []
        result = self.run_wine("reg", "query", UNINSTALL_KEY, "/s", self.registry_view)
        name = version = None
        for line in result.stdout.splitlines() + [""]:
            if line.startswith("HKEY_") or not line.strip():
                if name == "Brindle":
                    versions.append(version)
                name = version = None
            parts = line.split(None, 2)
            if len(parts) == 3 and parts[0] == "DisplayName":
                name = parts[2]
            elif len(parts) == 3 and parts[0] == "DisplayVersion":
                version = parts[2]
        return versions

    def start_menu_entries(self):
        users = os.listdir(os.path.join(self.drive_c, "users"))
        found = []
        for menu in START_MENUS:
            for user in users if "{user}" in menu else [None]:
                entry = os.path.join(self.drive_c, menu.format(user=user), "Brindle.lnk")
                if os.path.exists(entry):
                    found.append(entry)
        return found

    def install(self):
        """A fresh prefix with the older version installed, then this one over it."""
        self.display = common.Display(self.processes, self.work)
        boot = self.run_wine("wineboot", "--init")
        if boot.returncode != 0:
            raise Failure(f"wineboot failed ({boot.returncode})")
        self.msiexec("/i", self.older)
        self.msiexec("/i", self.msi)
        versions = self.installed_versions()
        expected = self.msi_version()
        if versions != [expected]:
            raise Failure(f"after the upgrade the installed programs list {versions}, not [{expected!r}]")
        for name in ("brindle.exe", "README.txt"):
            if not os.path.isfile(os.path.join(self.install_dir, name)):
                raise Failure(f"{name} is not in {self.install_dir}")
        if not self.start_menu_entries():
            raise Failure("no Brindle entry in the Start menu")
        log(f"an older version installed, then replaced by {expected} in {self.install_dir}, with a Start menu"
            " entry")

    def msi_version(self):
        # brindle-<version>-<arch>.msi
        return os.path.basename(self.msi).split("-")[1]

    def start_brindle(self):
        # The relay window test's start, on the display and in the prefix the installation made.
        display = self.display
        make_display = common.Display
        common.Display = lambda *_: display
        try:
            super().start_brindle()
        finally:
            common.Display = make_display

    def relay_page(self):
        page_out = self.path("page.out")
        self.curl("page.html", page_out)
        if not self.same_file(os.path.join(self.site, "page.html"), page_out):
            raise Failure("the page curl fetched through the installed program differs from the one served")
        log("the installed program relayed curl's request and the page whole")

    def remove(self):
        self.msiexec("/x", self.msi)
        left = [os.path.join(root, name) for root, _, names in os.walk(self.install_dir) for name in names]
        if left:
            raise Failure(f"msiexec /x left {left}")
        if self.start_menu_entries():
            raise Failure(f"msiexec /x left the Start menu entry {self.start_menu_entries()}")
        versions = self.installed_versions()
        if versions:
            raise Failure(f"msiexec /x left {versions} in the installed programs")
        log("msiexec /x removed every file, the Start menu entry and the installed programs' entry")

    def run(self):
        self.fill_site()
        self.start_http_server()
        self.install()
        self.start_brindle()
        self.listen_with_auto()
        self.relay_page()
        wait_for(lambda: common.quiet(self.listen_port, self.dest_port), 30, "the relayed connection to end")
        self.close_with_escape()
        self.remove()


def main(argv):
    if len(argv) != 7:
        print(__doc__)
        return 2
    msi, older, arch, build_dir, wine, wineserver = argv[1:]
    msi, older, build_dir = (os.path.abspath(p) for p in (msi, older, build_dir))
    tool = wine_test.missing_tool(wine, wineserver)
    if tool:
        print(f"SKIP: {tool} is not installed (tools/install_deps.sh --tests installs it)")
        return common.SKIP
    os.makedirs(build_dir, exist_ok=True)
    work = tempfile.mkdtemp(prefix="installer-wine-", dir=build_dir)
    processes = common.Processes()
    run = None
    try:
        run = InstallerRun(msi, older, arch, build_dir, work, processes, wine, wineserver)
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
