"""The template Wine prefix every scenario starts from: made once per route, shared between test
processes through a lock, sealed off from the machine. Making it proves the route."""

import fcntl
import hashlib
import os
import shutil
import subprocess
import time

import wineroute

from .config import DRIVER, WINE64, WINESERVER, in_prefix, notice

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
# Wine's own TrueType fonts, copied into the template's Fonts folder (tests/e2e/README.md).
WINE_FONTS = "/usr/share/wine/fonts"
# Big, never-written files of the template are shared into each scenario's prefix by hard link.
LINK_THRESHOLD = 64 * 1024


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

