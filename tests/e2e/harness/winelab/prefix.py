"""One scenario's Wine prefix: a copy of the template with the programs under test on drive C:,
its files and drives as the scenario prepares them, and the Wine programs run in it."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

from .config import COVERAGE_FOLDER, DRIVER, PROGRAM_FOLDER, WINE64, WINESERVER, in_prefix
from .driver import run_driver


def cpu_seconds(pid):
    """User plus system processor time of a Unix process."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Prefix:
    """One scenario's Wine prefix: drive C: with the programs under test, optional extra drives."""

    def __init__(self, session, label):
        self.session = session
        self.account = session.account
        self.root = tempfile.mkdtemp(prefix=label[:40] + "-", dir=session.config.work)
        os.chmod(self.root, 0o755)
        self.account.give(self.root)
        self.path = os.path.join(self.root, "prefix")
        session.template.clone(self.path)
        self.drive_c = os.path.join(self.path, "drive_c")
        self.drives = {"c": self.drive_c}
        self.mounts = []
        # Variables every Wine command of this prefix gets besides the prefix's own, e.g. a test
        # build's TAZEL_TEST_FAULT.
        self.environment = {}
        driver = session.config.program(DRIVER)
        if driver is None:
            raise RuntimeError(f"{DRIVER} is not built in {session.config.win_build}")
        self.add_program(driver)

    # Paths -------------------------------------------------------------------------------------

    def unix_path(self, windows_path):
        match = re.fullmatch(r"([A-Za-z]):\\?(.*)", windows_path)
        if not match or match.group(1).lower() not in self.drives:
            raise ValueError(f"{windows_path!r} is on no drive of this prefix")
        rest = [part for part in match.group(2).split("\\") if part]
        return os.path.join(self.drives[match.group(1).lower()], *rest)

    def add_program(self, source):
        folder = self.unix_path(PROGRAM_FOLDER)
        self.make_folder(PROGRAM_FOLDER)
        target = os.path.join(folder, os.path.basename(source))
        shutil.copy2(source, target)
        self.account.give(target)
        return PROGRAM_FOLDER + "\\" + os.path.basename(source)

    def make_folder(self, windows_path):
        path = self.unix_path(windows_path)
        missing = []
        while not os.path.exists(path):
            missing.append(path)
            path = os.path.dirname(path)
        for folder in reversed(missing):
            os.mkdir(folder)
            self.account.give(folder)
        return self.unix_path(windows_path)

    def write_file(self, windows_path, data):
        path = self.unix_path(windows_path)
        with open(path, "wb") as f:
            f.write(data)
        self.account.give(path)
        return path

    def read_file(self, windows_path):
        with open(self.unix_path(windows_path), "rb") as f:
            return f.read()

    def make_read_only(self, windows_path):
        """Read-only for the test user: Wine shows a file without write permission as read-only."""
        path = self.unix_path(windows_path)
        os.chmod(path, os.stat(path).st_mode & ~0o222)

    def listing(self, windows_path):
        return sorted(os.listdir(self.unix_path(windows_path)))

    def map_drive(self, letter, folder=None):
        """Maps drive `letter` to `folder` (default: a new empty folder beside the prefix)."""
        letter = letter.lower()
        if folder is None:
            folder = os.path.join(self.root, f"drive_{letter}")
            os.makedirs(folder, exist_ok=True)
            self.account.give(folder)
        link = os.path.join(self.path, "dosdevices", f"{letter}:")
        os.symlink(folder, link)
        self.account.give(link)
        self.drives[letter] = folder
        return folder

    def map_share(self, server, share, windows_folder):
        """Makes `windows_folder` the network share \\\\server\\share (and \\\\?\\UNC\\server\\share),
        through the prefix's dosdevices/unc, the one way Wine reaches a share (tests/e2e/README.md)."""
        link = os.path.join(self.path, "dosdevices", "unc", server, share)
        for folder in (os.path.dirname(os.path.dirname(link)), os.path.dirname(link)):
            if not os.path.isdir(folder):
                os.mkdir(folder)
                self.account.give(folder)
        os.symlink(self.unix_path(windows_folder), link)
        self.account.give(link)
        return f"\\\\{server}\\{share}"

    def map_small_drive(self, letter, size_bytes):
        """Maps drive `letter` to a tmpfs of `size_bytes`: a disk that fills up."""
        if not self.account.privileged:
            raise unittest.SkipTest("mounting a small tmpfs needs root")
        folder = os.path.join(self.root, f"drive_{letter.lower()}")
        os.makedirs(folder)
        result = subprocess.run(["mount", "-t", "tmpfs", "-o",
                                 f"size={size_bytes},mode=0755,uid={self.account.uid},gid={self.account.gid}",
                                 "tmpfs", folder], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if result.returncode != 0:
            raise unittest.SkipTest(f"cannot mount a tmpfs here: {result.stdout.strip()}")
        self.mounts.append(folder)
        return self.map_drive(letter, folder)

    def snapshot(self):
        """Every file outside Wine's own folders, with size and modification time."""
        found = {}
        for letter, root in self.drives.items():
            for folder, dirs, files in os.walk(root):
                relative = os.path.relpath(folder, root)
                if letter == "c" and relative in ("windows", "users", "tazel"):
                    dirs.clear()
                    continue
                for name in files:
                    info = os.lstat(os.path.join(folder, name))
                    found[f"{letter}:/{relative}/{name}"] = (info.st_size, info.st_mtime_ns)
        return found

    # Running ---------------------------------------------------------------------------------

    def command(self, program, args):
        extra = dict(self.environment)
        if self.session.config.coverage:
            extra["GCOV_PREFIX"] = COVERAGE_FOLDER
        return in_prefix(self.account, self.session.route, self.path, self.session.display.name, program, args, extra)

    def wine(self, *args, timeout=120):
        """Runs a Wine program (reg, regsvr32, ...) in this prefix to its end."""
        result = subprocess.run(self.command(WINE64, list(args)), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                timeout=timeout)
        self.stop()
        return result.returncode, result.stdout.decode("utf-8", errors="replace")

    def import_registry(self, text):
        """Applies a .reg text (REGEDIT4) to this prefix's registry."""
        self.import_registry_file(text.replace("\n", "\r\n").encode("utf-8"))

    def import_registry_file(self, data):
        """Applies .reg file bytes to both registry views, as a machine's own settings stand: the
        32-bit installer reads HKLM\\Software through Wow6432Node."""
        path = self.write_file("C:\\tazel-import.reg", data)
        try:
            for view in ("/reg:64", "/reg:32"):
                status, output = self.wine("reg", "import", "C:\\tazel-import.reg", view)
                if status != 0:
                    raise RuntimeError(f"reg import {view} failed ({status}): {output[-1500:]}")
        finally:
            os.remove(path)

    def run_driver(self, installer, actions, hooks=None, timeout=60, transcript=None):
        """Starts the installer through the driver and plays `actions` (driver.run_driver)."""
        return run_driver(self, installer, actions, hooks=hooks, timeout=timeout, transcript=transcript)

    def find_process(self, exe_name):
        """The Unix process id of a Windows program running in this prefix, or None."""
        marker = b"WINEPREFIX=" + self.path.encode() + b"\0"
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                if os.stat(f"/proc/{entry}").st_uid != self.account.uid:
                    continue
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    arguments = f.read().decode("utf-8", errors="replace").split("\0")
                # Wine shows the Windows program as the first argument; under emulation the Unix
                # paths of qemu-i386 and Wine's loader stand before it.
                program = next((a for a in arguments if not a.startswith("/")), "")
                if not program.lower().endswith("\\" + exe_name.lower()):
                    continue
                with open(f"/proc/{entry}/environ", "rb") as f:
                    if marker not in f.read() + b"\0":
                        continue
            except OSError:
                continue
            return int(entry)
        return None

    def stop(self):
        """Ends every Wine process of this prefix."""
        subprocess.run(self.command(WINESERVER, ["-k"]), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)

    def close(self):
        self.stop()
        for folder in self.mounts:
            subprocess.run(["umount", "-l", folder], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.keep_coverage_counters()
        if not self.session.config.keep:
            shutil.rmtree(self.root, ignore_errors=True)

    def keep_coverage_counters(self):
        """Copies the counters an instrumented installer wrote in this prefix to the coverage
        folder, under the prefix's own (unique) name; nothing unless coverage is collected."""
        counters = self.unix_path(COVERAGE_FOLDER)
        if self.session.config.coverage and os.path.isdir(counters):
            shutil.copytree(counters, os.path.join(self.session.config.coverage, os.path.basename(self.root)))

