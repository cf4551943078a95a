"""Where the harness works and as whom: the settings from the environment, the names of the
programs it runs, the unprivileged user Wine runs as, and the command line that runs a program
in a prefix as that user."""

import os
import pwd
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, "..", "..", "..", ".."))

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
