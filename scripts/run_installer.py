"""Runs the built 32-bit installer the way a player would, in a Wine prefix of the project's own in
which the game's graphics folder exists, so the default path runs to the end.

With a usable display the player clicks the boxes. Without one the installer runs on a virtual
display, the test driver confirms each box, screenshots of the window and of the final box are
saved, and the installed files are listed with their sizes."""

import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(REPO, "tests", "e2e", "harness"))
sys.path.insert(0, os.path.join(REPO, "tests", "build"))

BUILD = os.path.abspath(os.environ.get("TAZEL_BUILD_DIR") or os.path.join(REPO, "build"))
RUN_FOLDER = os.path.join(BUILD, "run")
os.environ.setdefault("TAZEL_WIN_BUILD_ROOT", BUILD)
os.environ.setdefault("TAZEL_E2E_WORK", os.path.join(RUN_FOLDER, "wine"))
os.environ.setdefault("TAZEL_E2E_OUTPUT", os.path.join(RUN_FOLDER, "logs"))
os.environ["TAZEL_E2E_KEEP"] = "1"

import winelab  # noqa: E402  (needs the settings above)
from expected import DECK, DEFAULT_FOLDER  # noqa: E402

INSTALLER = "TazelDeck.exe"


def display_usable(name):
    if not name:
        return False
    return subprocess.run(["xdpyinfo", "-display", name], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


def crop(source, target, rect):
    left, top, right, bottom = rect
    subprocess.run(["convert", source, "-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage", target],
                   check=True)


class PlayerDisplay:
    """The user's own display, for a run whose boxes the user answers."""

    def __init__(self, name):
        self.name = name

    def close(self):
        pass


def make_prefix(display):
    """A fresh prefix, cloned from the template, with the game's graphics folder in place."""
    session = winelab.Session.__new__(winelab.Session)
    session.config = winelab.Config()
    session.account = winelab.Account()
    if isinstance(display, PlayerDisplay):
        # On the player's own display Wine runs as the player, who owns the display.
        session.account.privileged = False
        session.account.uid, session.account.gid = os.geteuid(), os.getegid()
        session.account.run_prefix = []
    for folder in (session.config.work, session.config.output):
        os.makedirs(folder, exist_ok=True)
        os.chmod(folder, 0o755)
    session.check_reachable(session.config.work)
    session.display = display if display else winelab.Display(os.path.join(session.config.output, "xvfb.log"))
    session.template = winelab.Template(session.config, session.account, session.display)
    session.route = session.template.ensure()
    session.announce_route()
    for name in os.listdir(session.config.work):
        if name.startswith("run-"):
            shutil.rmtree(os.path.join(session.config.work, name), ignore_errors=True)
    prefix = winelab.Prefix(session, "run")
    prefix.make_folder(DEFAULT_FOLDER)
    return session, prefix


def print_installed(prefix):
    folder = prefix.unix_path(DEFAULT_FOLDER)
    names = prefix.listing(DEFAULT_FOLDER)
    print(f"\nInstalled into {DEFAULT_FOLDER} (on this machine: {folder}):")
    for name in names:
        print(f"  {name:<12} {os.path.getsize(os.path.join(folder, name)):>10,} bytes")
    missing = [name for name, _ in DECK if name not in names]
    if missing:
        print(f"  not installed: {', '.join(missing)}")
    return not missing


def run_interactive(display_name):
    session, prefix = make_prefix(PlayerDisplay(display_name))
    installer = prefix.add_program(session.config.program(INSTALLER))
    print(f"Running {installer} on {display_name}: answer its boxes.")
    status = subprocess.run(prefix.command(winelab.WINE64, [installer])).returncode
    prefix.stop()
    print(f"The installer ended with status {status}.")
    return print_installed(prefix) and status == 0


def run_unattended():
    session, prefix = make_prefix(None)
    screenshots = os.path.join(RUN_FOLDER, "screenshots")
    os.makedirs(screenshots, exist_ok=True)
    installer = prefix.add_program(session.config.program(INSTALLER))
    print(f"No display: running {installer} on a virtual display ({session.display.name}) and "
          "confirming its boxes.")

    def shoot(name):
        def hook(_event, run):
            whole = os.path.join(screenshots, f"{name}-screen.png")
            session.display.screenshot(whole)
            # The frame as the driver saw it once the window had painted.
            windows = run.of("window")
            if name == "window" and windows:
                crop(whole, os.path.join(screenshots, "window.png"), windows[-1]["rect"])
        return hook

    try:
        run = prefix.run_driver(installer, ["window", "sleep=600", "sync=window", "box", "sync=box", "press=ok"],
                                hooks={"window": shoot("window"), "box": shoot("box")}, timeout=120,
                                transcript=os.path.join(session.config.output, "driver.jsonl"))
    finally:
        session.display.close()
    for box in run.boxes:
        print(f"Box \"{box['title']}\": {box['text']!r} -> OK")
    print(f"The installer ended with status {run.exit_code}.")
    print(f"Screenshots: {screenshots}/window.png (the window), {screenshots}/box-screen.png (the final box)")
    return print_installed(prefix) and run.exit_code == 0


def main():
    display = os.environ.get("DISPLAY", "")
    ok = run_interactive(display) if display_usable(display) else run_unattended()
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
