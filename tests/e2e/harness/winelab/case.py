"""The scenarios' base class: a fresh prefix for each, the installer under test copied into it,
the driver to play it, and the checks every scenario shares."""

import os
import shutil
import unittest

from .config import MAIN_WINDOW_TITLE
from .prefix import Prefix
from .session import Session


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
