"""The host's graphics folder is missing: the installer asks, and the user cancels or browses."""

import os
import shutil
import unittest

from expected import (COPY_FAILED, DEFAULT_FOLDER, DEFAULT_MISSING, ERROR_TITLE, EXIT_CANCELLED, EXIT_COPY_FAILED,
                      EXIT_FOLDER_MISSING, EXIT_INSTALLED, EXIT_NO_FOLDER, FOLDER_MISSING, NO_FOLDER,
                      NO_FOLDER_TITLE, SUCCESS, SUCCESS_TITLE, not_found_title)
from scenario import ScenarioCase

DEFAULT_TITLE = not_found_title(DEFAULT_FOLDER)


class AskedAboutTheMissingFolder(ScenarioCase):
    """Every way of saying no to the question ends the run silently, with nothing written."""

    def decline(self, key):
        before = self.prefix.snapshot()
        run = self.run_installer("window", f"box={key}", "exit")

        box = self.assertOnlyBox(run)
        self.assertBox(box, DEFAULT_TITLE, DEFAULT_MISSING, buttons=("OK", "Cancel"))
        self.assertEqual(run.exit_code, EXIT_CANCELLED)
        self.assertEqual(run.of("browse"), [])
        self.assertNothingWritten(before)

    def test_cancel(self):
        self.decline("cancel")

    def test_escape_key(self):
        self.decline("escape")

    def test_close_button(self):
        self.decline("close")


class BrowsingForTheFolder(ScenarioCase):
    def browse_and_pick(self, folder, *after_pick):
        run = self.run_installer("box=ok", "browse", f"select={folder}", "press=ok", *after_pick)
        browse = run.of("browse")[0]
        self.assertEqual(browse["instruction"], "C:\\")
        self.assertTrue(browse["owner_is_main"], f"the browse dialog's owner: {browse['owner']}")
        return run

    def test_browse_cancelled(self):
        before = self.prefix.snapshot()
        run = self.run_installer("box=ok", "browse=cancel", "box=ok")

        browse = run.of("browse")[0]
        self.assertEqual(browse["instruction"], "C:\\")
        self.assertTrue(browse["owner_is_main"], f"the browse dialog's owner: {browse['owner']}")
        self.assertEqual(len(run.boxes), 2)
        self.assertBox(run.boxes[0], DEFAULT_TITLE, DEFAULT_MISSING, buttons=("OK", "Cancel"))
        self.assertBox(run.boxes[1], NO_FOLDER_TITLE, NO_FOLDER)
        self.assertEqual(run.exit_code, EXIT_NO_FOLDER)
        self.assertNothingWritten(before)

    def test_picked_folder_receives_the_deck(self):
        self.prefix.make_folder("C:\\picked")
        run = self.browse_and_pick("C:\\picked", "box=ok")

        self.assertEqual(run.of("selected")[0]["item"], "picked")
        self.assertEqual(len(run.boxes), 2)
        self.assertBox(run.boxes[1], SUCCESS_TITLE, SUCCESS)
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        # Straight into the picked folder: the game's folder names are not appended to it.
        self.assertFilesEqual("C:\\picked", self.deck())
        self.assertFalse(os.path.exists(self.prefix.unix_path("C:\\ProgramData\\Ombrix")))

    def test_drive_root(self):
        self.prefix.map_drive("d")
        run = self.browse_and_pick("D:\\", "box=ok")

        self.assertBox(run.boxes[-1], SUCCESS_TITLE, SUCCESS)
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        self.assertFilesEqual("D:\\", self.deck())

    def test_greek_and_japanese_folder_names(self):
        folder = "C:\\Παιχνίδια\\カード"
        self.prefix.make_folder(folder)
        run = self.browse_and_pick(folder, "box=ok")

        self.assertEqual(run.of("selected")[0]["item"], "カード")
        self.assertBox(run.boxes[-1], SUCCESS_TITLE, SUCCESS)
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        self.assertFilesEqual(folder, self.deck())

    def test_folder_removed_while_the_dialog_is_open(self):
        folder = "C:\\vanishing"
        self.prefix.make_folder(folder)

        def remove(_event, _run):
            shutil.rmtree(self.prefix.unix_path(folder))

        run = self.run_installer("box=ok", "browse", f"select={folder}", "sync=remove", "press=ok", "box=ok",
                                 hooks={"remove": remove})

        self.assertEqual(len(run.boxes), 2)
        self.assertBox(run.boxes[1], not_found_title(folder), FOLDER_MISSING)
        self.assertEqual(run.exit_code, EXIT_FOLDER_MISSING)
        self.assertFalse(os.path.exists(self.prefix.unix_path(folder)), "the folder came back")

    def test_disk_fills_up_during_the_copy(self):
        deck = self.deck()
        # Room for about half of the deck (tmpfs counts whole pages).
        page = os.sysconf("SC_PAGESIZE")
        pages = sum((len(data) + page - 1) // page for data in deck.values())
        self.prefix.map_small_drive("d", max(1, pages // 2) * page)
        run = self.browse_and_pick("D:\\", "box=ok")

        self.assertBox(run.boxes[-1], ERROR_TITLE, COPY_FAILED)
        self.assertEqual(run.exit_code, EXIT_COPY_FAILED)
        # Whatever landed is whole and in payload order; no temporary file is left behind.
        written = self.prefix.listing("D:\\")
        self.assertEqual([name for name in written if name not in deck], [], "files other than the deck's were left")
        self.assertLess(len(written), len(deck))
        self.assertEqual(written, sorted(list(deck)[:len(written)]))
        self.assertFilesEqual("D:\\", {name: deck[name] for name in written})


if __name__ == "__main__":
    unittest.main()
