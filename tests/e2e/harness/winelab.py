"""Runs the 32-bit installer under Wine on a virtual X display, one fresh Wine prefix per scenario.

One test process owns one Xvfb display. The Wine prefix every scenario starts from is made once
(wineboot and a few settings) and shared by all test processes through a lock; each scenario
gets its own sealed copy in which the test driver starts the installer and plays user actions.
Every Wine command goes by the route that `wineroute` finds to run 32-bit programs here.

Settings (environment):
  TAZEL_WIN_BUILD_ROOT  folder holding win-i686/ (default: <repo>/build)
  TAZEL_E2E_OUTPUT      screenshots and transcripts (default: <build root>/native/tests/e2e/output)
  TAZEL_E2E_WORK        prefixes (default: <system temp>/tazel-e2e-work)
  TAZEL_E2E_KEEP=1      keep each scenario's prefix for inspection
  TAZEL_E2E_COVERAGE    a folder: for scripts/coverage.sh's instrumented build, each scenario's gcov
                        counters are kept there (one subfolder per prefix) before the prefix goes
"""

import atexit
import fcntl
import hashlib
import json
import os
import pwd
import re
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import wineroute

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, "..", "..", ".."))

WINE64 = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
TEST_USER = "tazel-e2e"
DRIVER = "tazel_driver.exe"
MAIN_WINDOW_TITLE = "Ombrix Support Files"
# Where inside the prefix the programs under test are put.
PROGRAM_FOLDER = "C:\\tazel"
# Where an instrumented installer writes its gcov counters when the coverage report collects them:
# libgcov puts each counter file's build path (a Unix path, read on the current drive) under it.
COVERAGE_FOLDER = PROGRAM_FOLDER + "\\gcov"

# Bump when the template's settings change, so a stale template is not reused.
TEMPLATE_REVISION = "4"
TEMPLATE_SETTINGS = r"""REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Arial"="Liberation Sans"
"Times New Roman"="Liberation Serif"
"Courier New"="Liberation Mono"
"""
UNIX_ROOT_ITEM = ("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\Namespace\\"
                  "{9D20AAE8-0625-44B0-9CA7-71889C2254D9}")
# Wine's own TrueType fonts (Debian's fonts-wine): Marlett draws the caption buttons, Tahoma is
# the dialogs' face. This Wine does not look for them where Debian puts them, so the template
# gets them in its Fonts folder, where Windows keeps them.
WINE_FONTS = "/usr/share/wine/fonts"
# Big, never-written files of the template are shared into each scenario's prefix by hard link.
LINK_THRESHOLD = 64 * 1024


def notice(text):
    print(f"e2e: {text}", file=sys.stderr, flush=True)


class Config:
    def __init__(self):
        self.build_root = os.path.abspath(os.environ.get("TAZEL_WIN_BUILD_ROOT") or os.path.join(REPO, "build"))
        self.output = os.path.abspath(os.environ.get("TAZEL_E2E_OUTPUT") or
                                      os.path.join(self.build_root, "native", "tests", "e2e", "output"))
        self.work = os.path.abspath(os.environ.get("TAZEL_E2E_WORK") or
                                    os.path.join(tempfile.gettempdir(), "tazel-e2e-work"))
        self.keep = os.environ.get("TAZEL_E2E_KEEP") == "1"
        coverage = os.environ.get("TAZEL_E2E_COVERAGE")
        self.coverage = os.path.abspath(coverage) if coverage else None
        self.win_build = os.path.join(self.build_root, "win-i686")

    def program(self, name):
        """Path of a built Windows program, or None when the build did not make it."""
        for folder in ("", "tests/packages", "tests/e2e/driver"):
            path = os.path.join(self.win_build, folder, name)
            if os.path.isfile(path):
                return path
        return None


class Account:
    """Who Wine runs as: a dedicated unprivileged user when the tests run as root, because Wine
    running as root writes through read-only files and permissions."""

    def __init__(self):
        self.privileged = os.geteuid() == 0
        if not self.privileged:
            self.uid, self.gid = os.geteuid(), os.getegid()
            self.run_prefix = []
            return
        try:
            entry = pwd.getpwnam(TEST_USER)
        except KeyError:
            subprocess.run(["useradd", "--system", "--create-home", "--shell", "/usr/sbin/nologin", TEST_USER],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            entry = pwd.getpwnam(TEST_USER)  # made now, or by a parallel test process
        self.uid, self.gid = entry.pw_uid, entry.pw_gid
        self.run_prefix = ["runuser", "-u", TEST_USER, "--"]

    def give(self, path):
        if self.privileged:
            os.lchown(path, self.uid, self.gid)

    def give_tree(self, path):
        if not self.privileged:
            return
        self.give(path)
        for folder, dirs, files in os.walk(path):
            for name in dirs + files:
                self.give(os.path.join(folder, name))


class Display:
    """A private Xvfb screen."""

    def __init__(self, log_path, width=1024, height=768, depth=24):
        self.size = (width, height)
        read_end, write_end = os.pipe()
        self.log = open(log_path, "wb")
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0", f"{width}x{height}x{depth}"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))
            chunk = os.read(read_end, 16) if ready else b""
            if not chunk:
                self.close()
                raise RuntimeError(f"Xvfb did not start; see {log_path}")
            number += chunk
        os.close(read_end)
        self.name = ":" + number.decode().strip()

    def screenshot(self, path):
        """Saves the whole screen as PNG and returns it as (width, height, RGB bytes)."""
        ppm = subprocess.run(["import", "-display", self.name, "-window", "root", "-depth", "8", "ppm:-"], check=True,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60).stdout
        os.makedirs(os.path.dirname(path), exist_ok=True)
        subprocess.run(["convert", "ppm:-", path], input=ppm, check=True, timeout=60)
        return parse_ppm(ppm)

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()


def parse_ppm(data):
    fields = []
    position = 0
    while len(fields) < 4:
        while data[position:position + 1].isspace():
            position += 1
        if data[position:position + 1] == b"#":
            position = data.index(b"\n", position)
            continue
        end = position
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[position:end])
        position = end
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise ValueError("not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[position + 1:position + 1 + width * height * 3]
    return width, height, pixels


class RouteFailed(Exception):
    pass


class Template:
    """The prefix every scenario starts from, made once per route and kept for later sessions while
    Wine, the route and the settings stay the same. Making it decides the route: the first one
    whose template runs a 32-bit Windows program in time is the one every scenario takes."""

    # The 32-bit program that proves a route: the test driver, which without arguments reports
    # its usage and ends with status 64.
    PROBE_STATUS = 64

    def __init__(self, config, account, display):
        self.config = config
        self.account = account
        self.display = display
        self.path = None
        version = subprocess.run([WINE64, "--version"], stdout=subprocess.PIPE, text=True, check=True).stdout
        self.stamp = f"{version}|{os.uname().release}|{TEMPLATE_REVISION}|{TEMPLATE_SETTINGS}|{UNIX_ROOT_ITEM}|{account.uid}"

    def path_for(self, route):
        digest = hashlib.sha256(f"{self.stamp}|{route.stamp}".encode()).hexdigest()[:12]
        return os.path.join(self.config.work, f"template-{route.name}-{digest}")

    def ensure(self):
        """Finds or makes the template of the best working route; returns that route."""
        os.makedirs(self.config.work, exist_ok=True)
        os.chmod(self.config.work, 0o755)
        routes, reasons = wineroute.candidates()
        with open(os.path.join(self.config.work, "template.lock"), "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            self.remove_stale([self.path_for(route) for route in routes])
            for route in routes:
                path = self.path_for(route)
                failed = path + ".failed"
                if os.path.exists(os.path.join(path, ".tazel-ready")):
                    self.path = path
                    return route
                if os.path.exists(failed):
                    with open(failed) as f:
                        reasons.append(f"{route.name}: {f.read().strip()}")
                    continue
                try:
                    self.make(route, path)
                except RouteFailed as error:
                    # Remembered so that later runs go straight to the next route; the last one
                    # is tried afresh each time, as its failure may pass.
                    if route is not routes[-1]:
                        with open(failed, "w") as f:
                            f.write(str(error))
                    reasons.append(f"{route.name}: {error}")
                    notice(f"the {route.name} route does not run 32-bit programs here: {error}")
                    continue
                self.path = path
                return route
        raise RuntimeError("no way to run the 32-bit installer here:\n  " + "\n  ".join(reasons))

    def remove_stale(self, keep):
        """Templates of an older Wine, kernel, qemu or older settings are of no further use."""
        for name in os.listdir(self.config.work):
            path = os.path.join(self.config.work, name)
            if name.startswith("template-") and path not in keep and path.removesuffix(".failed") not in keep:
                if os.path.isdir(path):
                    shutil.rmtree(path, ignore_errors=True)
                else:
                    os.remove(path)

    def make(self, route, path):
        notice(f"making the template Wine prefix for the {route.name} route (once)")
        started = time.monotonic()
        building = path + ".building"
        shutil.rmtree(building, ignore_errors=True)
        os.makedirs(os.path.join(building, "prefix", "home"))
        self.account.give_tree(building)
        prefix = os.path.join(building, "prefix")
        try:
            self.wine(route, prefix, ["wineboot", "-i"], timeout=300)
            install_wine_fonts(prefix, self.account)
            self.probe(route, prefix)
            settings = os.path.join(prefix, "drive_c", "tazel-settings.reg")
            with open(settings, "w", newline="\r\n") as f:
                f.write(TEMPLATE_SETTINGS)
            self.account.give(settings)
            self.wine(route, prefix, ["reg", "import", "C:\\tazel-settings.reg"], timeout=120)
            os.remove(settings)
            # The shell's "/" item would let the browse dialog walk the real file system.
            self.wine(route, prefix, ["reg", "delete", UNIX_ROOT_ITEM, "/f"], timeout=120)
            self.wait_server(route, prefix)
        except BaseException:
            self.kill_server(route, prefix)
            shutil.rmtree(building, ignore_errors=True)
            raise
        seal(prefix)
        # Shared by hard link from here on: nobody may write to it any more.
        for folder, dirs, files in os.walk(building):
            for name in dirs + files:
                item = os.path.join(folder, name)
                if self.account.privileged:
                    os.lchown(item, 0, 0)
                if not os.path.islink(item) and os.path.isfile(item):
                    os.chmod(item, os.stat(item).st_mode & ~0o222)
        os.rename(building, path)
        open(os.path.join(path, ".tazel-ready"), "w").close()
        notice(f"template ready in {time.monotonic() - started:.0f} s")

    def probe(self, route, prefix):
        """Starts a small 32-bit Windows program in the new prefix, with a time limit."""
        program = self.config.program(DRIVER)
        if program is None:
            raise RuntimeError(f"{DRIVER} is not built in {self.config.win_build}")
        target = os.path.join(prefix, "drive_c", "tazel-probe.exe")
        shutil.copy2(program, target)
        self.account.give(target)
        try:
            result = subprocess.run(in_prefix(self.account, route, prefix, self.display.name, WINE64,
                                              ["C:\\tazel-probe.exe"]),
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        except subprocess.TimeoutExpired:
            raise RouteFailed("a 32-bit program did not end within 120 s")
        finally:
            os.remove(target)
        output = result.stdout.decode("utf-8", errors="replace")
        if result.returncode != self.PROBE_STATUS or '"usage"' not in output:
            raise RouteFailed(f"a 32-bit program ended with status {result.returncode}: {output[-500:].strip()}")

    def wine(self, route, prefix, args, timeout):
        try:
            result = subprocess.run(in_prefix(self.account, route, prefix, self.display.name, WINE64, args),
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise RouteFailed(f"wine {' '.join(args)} did not end within {timeout} s")
        if result.returncode != 0:
            raise RouteFailed(f"wine {' '.join(args)} failed ({result.returncode}): "
                              f"{result.stdout.decode(errors='replace')[-2000:]}")

    def wait_server(self, route, prefix):
        subprocess.run(in_prefix(self.account, route, prefix, self.display.name, WINESERVER, ["-w"]), timeout=120)

    def kill_server(self, route, prefix):
        subprocess.run(in_prefix(self.account, route, prefix, self.display.name, WINESERVER, ["-k"]),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    def clone(self, target):
        """Copies the template to `target`, owned by the test user. Big files under the Windows
        folder are hard links to the template's read-only ones when both sit on one file system."""
        same_device = os.stat(self.path).st_dev == os.stat(os.path.dirname(target)).st_dev
        source_root = os.path.join(self.path, "prefix")
        for folder, dirs, files in os.walk(source_root):
            relative = os.path.relpath(folder, source_root)
            destination = os.path.normpath(os.path.join(target, relative))
            os.makedirs(destination, exist_ok=True)
            self.account.give(destination)
            for name in list(dirs) + files:
                source = os.path.join(folder, name)
                copy = os.path.join(destination, name)
                if os.path.islink(source):
                    os.symlink(os.readlink(source), copy)
                    self.account.give(copy)
                    if name in dirs:
                        dirs.remove(name)
                    continue
                if name in dirs:
                    continue
                info = os.stat(source)
                if same_device and info.st_size >= LINK_THRESHOLD and relative.startswith("drive_c/windows"):
                    os.link(source, copy)
                else:
                    shutil.copy2(source, copy)
                    os.chmod(copy, info.st_mode | 0o200)
                    self.account.give(copy)


def install_wine_fonts(prefix, account):
    fonts = os.path.join(prefix, "drive_c", "windows", "Fonts")
    for name in sorted(os.listdir(WINE_FONTS)):
        if name.lower().endswith(".ttf"):
            shutil.copy2(os.path.join(WINE_FONTS, name), os.path.join(fonts, name))
            account.give(os.path.join(fonts, name))


def seal(prefix):
    """Cuts the prefix off from the machine: no drive for "/", and the user folders Wine links into
    $HOME become plain folders of the prefix."""
    z = os.path.join(prefix, "dosdevices", "z:")
    if os.path.lexists(z):
        os.remove(z)
    users = os.path.join(prefix, "drive_c", "users")
    for user in os.listdir(users):
        folder = os.path.join(users, user)
        if os.path.islink(folder) or not os.path.isdir(folder):
            continue
        for name in os.listdir(folder):
            path = os.path.join(folder, name)
            if os.path.islink(path):
                os.remove(path)
                os.mkdir(path)


def wine_environment(prefix, display):
    return {
        "PATH": "/usr/bin:/bin",
        "HOME": os.path.join(prefix, "home"),
        "WINEPREFIX": prefix,
        "WINEDEBUG": "-all",
        # No Mono or Gecko installers, no desktop menu entries.
        "WINEDLLOVERRIDES": "mscoree,mshtml=d;winemenubuilder.exe=d",
        "DISPLAY": display,
        "LANG": "C.UTF-8",
        "LC_ALL": "C.UTF-8",
        "TMPDIR": os.path.join(prefix, "home"),
    }


def in_prefix(account, route, prefix, display, program, args, extra_env=None):
    """The command that runs `program` as the test user, by `route`, with the prefix's environment only
    (and `extra_env`)."""
    env = dict(extra_env or {}, **wine_environment(prefix, display))
    command = ["env", "-i"] + [f"{k}={v}" for k, v in env.items()] + [program] + list(args)
    return account.run_prefix + route.wrap(account.uid, account.gid, command)


def cpu_seconds(pid):
    """User plus system processor time of a Unix process."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class DriverRun:
    """What the driver reported for one run of the installer."""

    def __init__(self):
        self.events = []
        self.returncode = None
        self.stderr = ""

    def of(self, kind):
        return [e for e in self.events if e["event"] == kind]

    @property
    def boxes(self):
        return self.of("box")

    @property
    def exit_code(self):
        exits = self.of("exit")
        return exits[-1]["code"] if exits else None

    def describe(self):
        lines = [json.dumps(e, ensure_ascii=False) for e in self.events]
        return "\n".join(lines + [f"driver status {self.returncode}", self.stderr[-1500:]])


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
        """Makes `windows_folder` the network share \\\\server\\share (and \\\\?\\UNC\\server\\share). Wine 8
        reaches a share only through the prefix's dosdevices/unc/<server>/<share>: it has no network
        client of its own, and \\\\localhost\\C$ is refused (ERROR_BAD_DEV_TYPE)."""
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
        """Starts the installer through the driver and plays `actions`. `hooks` maps sync names to
        callables taking (sync event, the run so far); the driver waits until the hook has returned."""
        hooks = hooks or {}
        run = DriverRun()
        args = [f"{PROGRAM_FOLDER}\\{DRIVER}", f"--run={installer}", f"--timeout={timeout}"] + list(actions)
        stderr_file = tempfile.TemporaryFile()
        process = subprocess.Popen(self.command(WINE64, args), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=stderr_file)
        # Should Wine itself hang, the whole prefix is ended; the driver's own limit comes first.
        watchdog = threading.Timer(timeout + 60, self.stop)
        watchdog.start()
        failure = None
        try:
            for raw in process.stdout:
                line = raw.decode("utf-8", errors="replace").strip()
                if not line:
                    continue
                try:
                    event = json.loads(line)
                except ValueError:
                    event = {"event": "noise", "line": line}
                run.events.append(event)
                if event["event"] == "sync":
                    try:
                        hook = hooks.get(event["name"])
                        if hook:
                            hook(event, run)
                    except BaseException as error:  # reported after the run has ended cleanly
                        failure = failure or error
                    process.stdin.write(b"\n")
                    process.stdin.flush()
            process.stdin.close()
            process.stdout.close()
            run.returncode = process.wait()
        finally:
            watchdog.cancel()
            if process.poll() is None:
                process.kill()
                process.wait()
            stderr_file.seek(0)
            run.stderr = stderr_file.read().decode("utf-8", errors="replace")
            stderr_file.close()
            if transcript:
                os.makedirs(os.path.dirname(transcript), exist_ok=True)
                with open(transcript, "w", encoding="utf-8") as f:
                    f.write(run.describe() + "\n")
        self.stop()
        if failure:
            raise failure
        return run

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


class Session:
    """What one test process shares between its scenarios."""

    _current = None

    @classmethod
    def get(cls):
        if cls._current is None:
            cls._current = Session()
            atexit.register(cls._current.close)
        return cls._current

    def __init__(self):
        self.config = Config()
        self.account = Account()
        os.makedirs(self.config.output, exist_ok=True)
        os.makedirs(self.config.work, exist_ok=True)
        os.chmod(self.config.work, 0o755)
        self.check_reachable(self.config.work)
        self.remove_abandoned_prefixes()
        self.display = Display(os.path.join(self.config.output, f"xvfb-{os.getpid()}.log"))
        try:
            self.template = Template(self.config, self.account, self.display)
            self.route = self.template.ensure()
        except BaseException:
            self.display.close()
            raise
        self.announce_route()

    def announce_route(self):
        """Says, and keeps beside the transcripts, how this run executes the 32-bit installer."""
        text = f"running the 32-bit installer {self.route.description}"
        notice(text)
        with open(os.path.join(self.config.output, "route.txt"), "w", encoding="utf-8") as f:
            f.write(text + "\n")

    def check_reachable(self, folder):
        """The test user has to reach its prefixes: every folder above them must let others pass."""
        if not self.account.privileged:
            return
        path = folder
        while path != os.path.dirname(path):
            path = os.path.dirname(path)
            if not os.stat(path).st_mode & 0o001:
                raise RuntimeError(f"{TEST_USER} cannot pass through {path}; set TAZEL_E2E_WORK elsewhere")

    def remove_abandoned_prefixes(self):
        """Prefixes left by test processes that were killed, a day or more ago."""
        limit = time.time() - 24 * 3600
        for name in os.listdir(self.config.work):
            path = os.path.join(self.config.work, name)
            if not name.startswith("template") and os.path.isdir(path) and os.stat(path).st_mtime < limit:
                shutil.rmtree(path, ignore_errors=True)

    def close(self):
        self.display.close()


class InstallerTestCase(unittest.TestCase):
    """A scenario: a fresh prefix, the installer under test copied into it, the driver to play it."""

    INSTALLER = "TazelDeck.exe"
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.session = Session.get()
        cls.config = cls.session.config

    def setUp(self):
        label = self.id().rsplit(".", 2)
        self.output = os.path.join(self.config.output, ".".join(label[-2:]))
        shutil.rmtree(self.output, ignore_errors=True)
        self.prefix = Prefix(self.session, label[-1])
        self.addCleanup(self.prefix.close)

    def installer_path(self, name=None):
        name = name or self.INSTALLER
        path = self.config.program(name)
        if path is None:
            self.skipTest(f"{name} is not built in {self.config.win_build}")
        return path

    def run_installer(self, *actions, installer=None, program=None, hooks=None, timeout=60):
        """Plays the actions against the installer (or the executable at the path `program`);
        requires that the script played to its end, with no box the script did not expect, and
        that the installer ended on its own."""
        windows_path = self.prefix.add_program(program or self.installer_path(installer))
        run = self.prefix.run_driver(windows_path, actions, hooks=hooks, timeout=timeout,
                                     transcript=os.path.join(self.output, "driver.jsonl"))
        self.assertEqual(run.returncode, 0, "the driver could not play the script:\n" + run.describe())
        return run

    def record(self, text):
        """Keeps a measurement beside the scenario's transcript."""
        os.makedirs(self.output, exist_ok=True)
        with open(os.path.join(self.output, "notes.txt"), "a", encoding="utf-8") as f:
            f.write(text + "\n")

    def screenshot(self, name):
        return self.session.display.screenshot(os.path.join(self.output, name + ".png"))

    def assertBox(self, box, title, text, buttons=("OK",), owned_by_main=True):
        self.assertEqual(box.get("kind"), "box", box)
        self.assertEqual(box["title"], title)
        self.assertEqual(box["text"], text)
        self.assertEqual([b["text"] for b in box["buttons"]], list(buttons))
        self.assertFalse(box["icon"], "the box shows an icon")
        if owned_by_main:
            self.assertTrue(box["owner_is_main"], f"the box is not owned by the main window: {box['owner']}")
        else:
            self.assertIsNone(box["owner"], "the box has an owner")

    def assertNoMainWindowShown(self, run):
        shown = [e for e in run.of("shown") if e["title"] == MAIN_WINDOW_TITLE]
        self.assertEqual(shown, [], "the main window became visible")

    def assertFilesEqual(self, windows_folder, expected):
        """`expected` maps file names to bytes; the folder holds exactly those files, byte for byte."""
        self.assertEqual(self.prefix.listing(windows_folder), sorted(expected))
        for name, data in expected.items():
            actual = self.prefix.read_file(windows_folder + "\\" + name)
            self.assertEqual(len(actual), len(data), f"{name}: size")
            self.assertTrue(actual == data, f"{name}: content differs from the installer's resource")
