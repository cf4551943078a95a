"""The host's graphics folder is there: the installer copies the deck into it without a question."""

import os
import pathlib
import shutil
import sys
import tempfile
import unittest

from expected import (COPY_FAILED, DEFAULT_FOLDER, ERROR_TITLE, EXIT_COPY_FAILED, EXIT_INSTALLED, SUCCESS,
                      SUCCESS_TITLE)
from scenario import ScenarioCase
from winelab import MAIN_WINDOW_TITLE, REPO, cpu_seconds

sys.path.insert(0, os.path.join(REPO, "tests", "build"))
from signing import make_certificate, release  # noqa: E402

PAUSE_MS = 2000
# The driver notices the window a little after it appears, more so on a loaded machine; a pause
# cut short by a second or skipped still shows.
PAUSE_SLACK_MS = 250
# The installer retries putting a file in place for two seconds of waits in all; the driver sees
# the temporary file a poll or so after it appears.
RETRY_BUDGET_MS = 2000
RETRY_SLACK_MS = 250
# A process id no Windows or Wine process has: its leftovers are an ended run's.
ENDED_RUN = "7ffffffc"


class DefaultFolderPresent(ScenarioCase):
    def setUp(self):
        super().setUp()
        self.prefix.make_folder(DEFAULT_FOLDER)

    def test_installs_the_deck_after_the_pause(self):
        run = self.run_installer("window", "box=ok")

        box = self.assertOnlyBox(run)
        self.assertBox(box, SUCCESS_TITLE, SUCCESS)
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        self.assertFilesEqual(DEFAULT_FOLDER, self.deck())
        # The window stands for the whole pause before anything else happens.
        shown = run.of("window")[0]
        self.assertEqual(shown["title"], MAIN_WINDOW_TITLE)
        self.assertGreaterEqual(box["t"] - shown["t"], PAUSE_MS - PAUSE_SLACK_MS)

    def test_pause_leaves_the_processor_idle(self):
        samples = {}

        def sample(event, _run):
            pid = self.prefix.find_process(self.INSTALLER)
            self.assertIsNotNone(pid, "the installer's Unix process was not found")
            samples[event["name"]] = cpu_seconds(pid)

        run = self.run_installer("window", "sync=pause-start", "box", "sync=pause-end", "press=ok",
                                 hooks={"pause-start": sample, "pause-end": sample})
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        window, box = run.of("window")[0], run.boxes[0]
        self.assertGreaterEqual(box["t"] - window["t"], PAUSE_MS - PAUSE_SLACK_MS)
        # Starting under Wine costs processor time: a zero here would mean another process was sampled.
        self.assertGreater(samples["pause-start"], 0)
        used = samples["pause-end"] - samples["pause-start"]
        self.record(f"processor time during the pause: {used:.3f} s")
        # A busy wait would burn about the whole two seconds; the folder test, the copy and the
        # box's creation take a little, more under emulation, where qemu translates each piece of
        # code (the scripting runtime's, the box's) the first time it runs.
        limit = 1.0 if self.session.route.emulated else 0.5
        self.assertLess(used, limit, f"{used:.2f} s of processor time during the pause")

    def test_replaces_existing_files_whatever_their_size(self):
        deck = self.deck()
        longer = deck["Tazel0.cbx"] * 3 + b"trailing bytes of an older, longer file"
        self.prefix.write_file(DEFAULT_FOLDER + "\\Tazel0.cbx", longer)
        self.prefix.write_file(DEFAULT_FOLDER + "\\Tazel.dek", b"short")

        run = self.run_installer("box=ok")

        self.assertBox(self.assertOnlyBox(run), SUCCESS_TITLE, SUCCESS)
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        self.assertFilesEqual(DEFAULT_FOLDER, deck)

    def test_read_only_file_stops_the_copy(self):
        deck = self.deck()
        old = b"a read-only card sheet the installer must not touch"
        self.prefix.write_file(DEFAULT_FOLDER + "\\Tazel3.cbx", old)
        self.prefix.make_read_only(DEFAULT_FOLDER + "\\Tazel3.cbx")

        run = self.run_installer("box=ok")

        self.assertBox(self.assertOnlyBox(run), ERROR_TITLE, COPY_FAILED)
        self.assertEqual(run.exit_code, EXIT_COPY_FAILED)
        # Files before the refused one are in place, the refused one is as it was, and the
        # copy went no further; no temporary file is left behind.
        expected = {name: deck[name] for name in ("Tazel.dek", "Tazel0.cbx", "Tazel1.cbx", "Tazel2.cbx")}
        expected["Tazel3.cbx"] = old
        self.assertFilesEqual(DEFAULT_FOLDER, expected)

    def test_folder_the_player_may_not_write_to_stops_the_copy(self):
        # No temporary file can be made there: the copy's own error, and the folder as it was.
        self.prefix.write_file(DEFAULT_FOLDER + "\\Tazel.dek", b"the deck installed before")
        self.prefix.make_read_only(DEFAULT_FOLDER)
        before = self.prefix.snapshot()

        run = self.run_installer("box=ok")

        self.assertBox(self.assertOnlyBox(run), ERROR_TITLE, COPY_FAILED)
        self.assertEqual(run.exit_code, EXIT_COPY_FAILED)
        self.assertNothingWritten(before)

    def test_folder_named_like_a_file_stops_the_copy(self):
        deck = self.deck()
        # The fourth file's name taken by a folder: the copy ends there and the folder stays as it was.
        self.prefix.make_folder(DEFAULT_FOLDER + "\\Tazel2.cbx")
        self.prefix.write_file(DEFAULT_FOLDER + "\\Tazel2.cbx\\keep.txt", b"the player's own file")

        run = self.run_installer("box=ok")

        self.assertBox(self.assertOnlyBox(run), ERROR_TITLE, COPY_FAILED)
        self.assertEqual(run.exit_code, EXIT_COPY_FAILED)
        self.assertEqual(self.prefix.listing(DEFAULT_FOLDER), ["Tazel.dek", "Tazel0.cbx", "Tazel1.cbx", "Tazel2.cbx"])
        for name in ("Tazel.dek", "Tazel0.cbx", "Tazel1.cbx"):
            self.assertTrue(self.prefix.read_file(DEFAULT_FOLDER + "\\" + name) == deck[name], name)
        self.assertEqual(self.prefix.listing(DEFAULT_FOLDER + "\\Tazel2.cbx"), ["keep.txt"])

    def test_target_held_for_a_moment_is_replaced_once_free(self):
        target = DEFAULT_FOLDER + "\\Tazel4.cbx"
        self.prefix.write_file(target, b"an earlier copy the game still has open")

        run = self.run_installer(f"hold={target},500", "box=ok")

        self.assertBox(self.assertOnlyBox(run), SUCCESS_TITLE, SUCCESS)
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        released = run.of("released")
        self.assertEqual(len(released), 1, run.describe())
        self.assertTrue(released[0]["waiting"], "the file was replaced while it was held")
        self.assertFilesEqual(DEFAULT_FOLDER, self.deck())

    def test_target_held_throughout_stops_the_copy(self):
        deck = self.deck()
        old = b"an earlier copy the game keeps open"
        target = DEFAULT_FOLDER + "\\Tazel4.cbx"
        self.prefix.write_file(target, old)

        run = self.run_installer(f"hold={target}", "box=ok")

        box = self.assertOnlyBox(run)
        self.assertBox(box, ERROR_TITLE, COPY_FAILED)
        self.assertEqual(run.exit_code, EXIT_COPY_FAILED)
        # The earlier copy as it was, the files before it written, none after, no temporary file.
        expected = {name: deck[name] for name in ("Tazel.dek", "Tazel0.cbx", "Tazel1.cbx", "Tazel2.cbx", "Tazel3.cbx")}
        expected["Tazel4.cbx"] = old
        self.assertFilesEqual(DEFAULT_FOLDER, expected)
        waited = box["t"] - run.of("hold_touched")[0]["t"]
        self.record(f"M6 {waited} ms after the temporary file appeared")
        self.assertGreaterEqual(waited, RETRY_BUDGET_MS - RETRY_SLACK_MS, "gave up before the retries ran out")

    def test_leftovers_of_an_interrupted_run_are_removed(self):
        folder = DEFAULT_FOLDER
        leftovers = [f"Tazel4.cbx.{ENDED_RUN}-0.tmp", f"Tazel.dek.{ENDED_RUN}-16.tmp"]
        # Named like leftovers but not quite, or for no file of the deck, or held by another program.
        held = f"Tazel5.cbx.{ENDED_RUN}-1.tmp"
        kept = [f"Tazel4.cbx.{ENDED_RUN}-0.tmp.bak", "Tazel4.cbx.backup.tmp", f"Other.cbx.{ENDED_RUN}-0.tmp", held]
        for name in leftovers + kept:
            self.prefix.write_file(f"{folder}\\{name}", name.encode())
        # Outside the destination folder nothing is looked at.
        beside = f"C:\\ProgramData\\Ombrix\\Tazel4.cbx.{ENDED_RUN}-0.tmp"
        self.prefix.write_file(beside, b"not in the graphics folder")

        # The installer's own first temporary name for Tazel.dek is taken before it starts: it
        # writes under the next one, and leaves that file be, as its writer (itself) still runs.
        run = self.run_installer(f"--occupy={folder}\\Tazel.dek", f"hold={folder}\\{held}", "box=ok")

        self.assertBox(self.assertOnlyBox(run), SUCCESS_TITLE, SUCCESS)
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        expected = dict(self.deck(), **{name: name.encode() for name in kept})
        expected[run.of("occupied")[0]["path"].rpartition("\\")[2]] = b"occupied"
        self.assertFilesEqual(folder, expected)
        self.assertEqual(self.prefix.read_file(beside), b"not in the graphics folder")

    def test_window_closed_during_the_pause(self):
        run = self.run_installer("window", "window-close", "box=ok")

        # With the window gone the box stands on its own, and the run completes.
        self.assertBox(self.assertOnlyBox(run), SUCCESS_TITLE, SUCCESS, owned_by_main=False)
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        self.assertFilesEqual(DEFAULT_FOLDER, self.deck())


class SignedRelease(ScenarioCase):
    """The installer of a signed release folder (scripts/release.sh, a throwaway certificate) runs as
    the build does. The release is made of the build this machine runs."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.work = tempfile.mkdtemp(prefix="tazel-signed-")
        build = cls.config.program(cls.INSTALLER)
        if build is None:
            raise unittest.SkipTest(f"{cls.INSTALLER} is not built")
        # The release of the build under test, packers included, wherever that build is.
        made = release(build, pathlib.Path(cls.work, "release"), make_certificate(cls.work)[0],
                       env={"TAZEL_BUILD_DIR": cls.config.build_root})
        if made.returncode != 0:
            raise RuntimeError("scripts/release.sh failed:\n" + made.stderr)
        cls.signed = os.path.join(cls.work, "release", cls.INSTALLER)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)
        super().tearDownClass()

    def installer_path(self, name=None):
        return self.signed if name in (None, self.INSTALLER) else super().installer_path(name)

    def setUp(self):
        super().setUp()
        self.prefix.make_folder(DEFAULT_FOLDER)

    test_installs_the_deck_after_the_pause = DefaultFolderPresent.test_installs_the_deck_after_the_pause


if __name__ == "__main__":
    unittest.main()
