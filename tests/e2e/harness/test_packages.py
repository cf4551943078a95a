"""Other packages built from the same installer: the manifest decides what is installed and when
the installer refuses. Each needs its test package from the Windows build; without it the case is
skipped."""

import os
import unittest

from expected import (APPLICATION_TITLE, COPY_FAILED, DECK, DEFAULT_FOLDER, ERROR_TITLE, EXIT_COPY_FAILED, EXIT_DAMAGED,
                      EXIT_INSTALLED, EXIT_NO_FILE_INFO, EXIT_REPORT, NO_FILE_INFO, SUCCESS, SUCCESS_TITLE, damaged)
from scenario import PeImage, ScenarioCase, resources

ERROR_NOT_ENOUGH_MEMORY = 8
ERROR_RESOURCE_TYPE_NOT_FOUND = 1813
ERROR_RESOURCE_NAME_NOT_FOUND = 1814


class EmptyFirstFileName(ScenarioCase):
    INSTALLER = "TestEmptyFirst.exe"

    def test_refuses_before_showing_anything(self):
        self.prefix.make_folder(DEFAULT_FOLDER)
        before = self.prefix.snapshot()
        run = self.run_installer("box=ok")

        box = self.assertOnlyBox(run)
        self.assertBox(box, APPLICATION_TITLE, NO_FILE_INFO, owned_by_main=False)
        self.assertEqual(run.exit_code, EXIT_NO_FILE_INFO)
        self.assertNoMainWindowShown(run)
        self.assertEqual(run.of("window"), [])
        self.assertNothingWritten(before)


class StubWithoutPackage(EmptyFirstFileName):
    # The installer's code with no package put into it: no record, no resources at all.
    INSTALLER = "TazelStub.exe"


class FacePackage(ScenarioCase):
    INSTALLER = "TestFace.exe"
    # A name ending in "fac" installs five entries; the last three names are never used.
    INSTALLED = ["Tazelfac", "Face0.cbx", "Face1.cbx", "Face2.cbx", "Face3.cbx"]

    def test_installs_five_files(self):
        self.prefix.make_folder(DEFAULT_FOLDER)
        entries = self.payload()
        run = self.run_installer("box=ok")

        box = self.assertOnlyBox(run)
        self.assertEqual(box["title"], SUCCESS_TITLE)
        self.assertTrue(box["text"].endswith(" Installed!"), box["text"])
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        self.assertFilesEqual(DEFAULT_FOLDER, {name: entries[101 + i] for i, name in enumerate(self.INSTALLED)})


class DescribedFacePackage(ScenarioCase):
    # Built from tests/packages/DescribedFace.package through the same checks and generator as a
    # publisher's package: the display name has to reach the player exactly as written.
    INSTALLER = "TestDescribedFace.exe"
    DISPLAY_NAME = 'T\u00e0zel "F\u00e4ces" \\ \u00dcn\u00efcode \U0001F0A1'

    def test_installs_five_files_under_its_display_name(self):
        self.prefix.make_folder(DEFAULT_FOLDER)
        entries = self.payload()
        run = self.run_installer("window", "accessible", "box=ok")

        bottom_line = run.of("accessible")[0]["children"][-1]
        self.assertEqual(bottom_line["text"], self.DISPLAY_NAME + " Installation")
        self.assertBox(self.assertOnlyBox(run), SUCCESS_TITLE, self.DISPLAY_NAME + " Installed!")
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        self.assertFilesEqual(DEFAULT_FOLDER, {name: entries[101 + i] for i, name in enumerate(FacePackage.INSTALLED)})


class UpperCaseDeckName(ScenarioCase):
    INSTALLER = "TestUpperDek.exe"

    def test_only_the_main_file_is_installed(self):
        # The kind is told by a case-sensitive ending: "DEK" is not a deck, so one entry only.
        self.prefix.make_folder(DEFAULT_FOLDER)
        entries = self.payload()
        run = self.run_installer("box=ok")

        self.assertBox(self.assertOnlyBox(run), SUCCESS_TITLE, SUCCESS)
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        self.assertFilesEqual(DEFAULT_FOLDER, {"Tazel.DEK": entries[101]})


class LaterPayloadMissing(ScenarioCase):
    INSTALLER = "TestMissing3.exe"

    def test_copy_stops_with_the_copy_error(self):
        # Entry 3 has a name but no payload: a failure inside the copy stage, reported as such.
        self.prefix.make_folder(DEFAULT_FOLDER)
        entries = self.payload()
        run = self.run_installer("box=ok")

        self.assertBox(self.assertOnlyBox(run), ERROR_TITLE, COPY_FAILED)
        self.assertEqual(run.exit_code, EXIT_COPY_FAILED)
        self.assertFilesEqual(DEFAULT_FOLDER, {"Tazel.dek": entries[101], "Tazel0.cbx": entries[102],
                                               "Tazel1.cbx": entries[103]})


class OutOfMemory(ScenarioCase):
    # A test build in which memory runs out at the stage TAZEL_TEST_OUT_OF_MEMORY names
    # (host/CxxRuntime.cpp). Whatever the stage, the deck installed before stays as it was and no
    # temporary file is left; never the C runtime's abort box or its status 3.
    INSTALLER = "TestOutOfMemory.exe"

    def run_out_of_memory(self, stage, *actions, timeout=60):
        self.prefix.environment["TAZEL_TEST_OUT_OF_MEMORY"] = stage
        self.prefix.make_folder(DEFAULT_FOLDER)
        self.prefix.write_file(DEFAULT_FOLDER + "\\Tazel.dek", b"the deck installed before")
        before = self.prefix.snapshot()
        run = self.run_installer(*actions, timeout=timeout)
        self.assertNothingWritten(before)
        return run

    def test_in_the_copy_stage_ends_as_a_failed_copy(self):
        run = self.run_out_of_memory("copy", "box=ok")

        self.assertBox(self.assertOnlyBox(run), ERROR_TITLE, COPY_FAILED)
        self.assertEqual(run.exit_code, EXIT_COPY_FAILED)

    def test_before_the_copy_stage_gets_the_generic_report(self):
        # Once the window is up: the folder lookup's text is the first allocation after the pause.
        run = self.run_out_of_memory("before-copy", "window", "box=ok")

        self.assertEqual(self.assertGenericReport(self.assertOnlyBox(run)), ERROR_NOT_ENOUGH_MEMORY)
        self.assertTrue(run.boxes[0]["owner_is_main"], run.describe())
        self.assertEqual(run.exit_code, EXIT_REPORT)

    def test_a_second_failure_while_the_box_stands_keeps_the_status(self):
        # Nobody presses OK: the second failure ends the run at once, with no second box and the
        # status the first one decided.
        run = self.run_out_of_memory("box", "box", timeout=20)

        self.assertBox(self.assertOnlyBox(run), ERROR_TITLE, COPY_FAILED)
        # A run that waited for OK would have been killed by the driver at its time limit.
        self.assertFalse(run.of("exit")[-1]["killed"], run.describe())
        self.assertEqual(run.exit_code, EXIT_COPY_FAILED)


class FirstPayloadMissing(ScenarioCase):
    INSTALLER = "TestMissing0.exe"

    def test_reports_the_system_error(self):
        self.prefix.make_folder(DEFAULT_FOLDER)
        before = self.prefix.snapshot()
        run = self.run_installer("box=ok")

        code = self.assertGenericReport(self.assertOnlyBox(run))
        # The system's answer for a missing resource depends on whether any entry of its type is left.
        types = {kind for kind, _name, _lang in resources(self.installer_path())}
        self.assertEqual(code, ERROR_RESOURCE_NAME_NOT_FOUND if "CUSTOM" in types else ERROR_RESOURCE_TYPE_NOT_FOUND)
        self.assertEqual(run.exit_code, EXIT_REPORT)
        self.assertNothingWritten(before)


class DamagedProduct(ScenarioCase):
    """The product with one byte changed, as a bad download or a faulty disk leaves it: the
    installer says so, asks nothing and writes nothing."""

    def run_damaged(self, resource, at):
        with open(self.installer_path(), "rb") as f:
            data = bytearray(f.read())
        start, size = PeImage(bytes(data)).resource_places()[resource]
        self.assertLess(at, size)
        data[start + at] ^= 0x20
        folder = os.path.join(self.prefix.root, "download")
        os.makedirs(folder, exist_ok=True)
        copy = os.path.join(folder, "TazelDeck.exe")
        with open(copy, "wb") as f:
            f.write(data)
        self.prefix.make_folder(DEFAULT_FOLDER)
        self.prefix.write_file(DEFAULT_FOLDER + "\\Tazel.dek", b"the deck installed before")
        before = self.prefix.snapshot()
        run = self.run_installer("box=ok", program=copy)
        self.assertEqual(run.exit_code, EXIT_DAMAGED)
        self.assertNothingWritten(before)
        return run

    def test_a_damaged_payload_entry_is_found_in_the_pause(self):
        # Halfway into the fourth entry; the record is sound, so the report names the installer.
        entry = ("CUSTOM", 104, 1033)
        size = len(resources(self.installer_path())[entry])
        run = self.run_damaged(entry, size // 2)
        self.assertBox(self.assertOnlyBox(run), APPLICATION_TITLE, damaged("TazelDeck"))

    def test_a_damaged_package_record_is_found_before_the_window_shows(self):
        # The first character of the display name: a change the record's format alone cannot see.
        run = self.run_damaged(("PACKAGE", 1, 0), 38)
        self.assertBox(self.assertOnlyBox(run), APPLICATION_TITLE, damaged("this installer"), owned_by_main=False)
        self.assertNoMainWindowShown(run)


class CompressedDeck(ScenarioCase):
    """The product's package stored compressed: the same eight files, byte for byte, as the
    product carries them raw, and a longer file of the same name replaced whole."""
    INSTALLER = "TestCompressedDeck.exe"

    def test_installs_the_files_the_product_carries(self):
        product = self.payload("TazelDeck.exe")
        self.assertEqual(self.payload(), {}, "a compressed package carries no raw entries")
        self.prefix.make_folder(DEFAULT_FOLDER)
        self.prefix.write_file(DEFAULT_FOLDER + "\\Tazel6.cbx", b"an older, longer file" * 100_000)
        run = self.run_installer("box=ok")

        self.assertBox(self.assertOnlyBox(run), SUCCESS_TITLE, SUCCESS)
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        self.assertFilesEqual(DEFAULT_FOLDER, {name: product[resource] for name, resource in DECK})


class DamagedCompressedDeck(DamagedProduct):
    INSTALLER = "TestCompressedDeck.exe"
    # The record's damage is the product's case over again.
    test_a_damaged_package_record_is_found_before_the_window_shows = None

    def test_a_damaged_payload_entry_is_found_in_the_pause(self):
        # In the last entry's head (its first chunk's length) and in its second stream.
        entry = ("LZMA", 108, 1033)
        size = len(resources(self.installer_path())[entry])
        for at in (15, size * 3 // 4):
            with self.subTest(at=at):
                run = self.run_damaged(entry, at)
                self.assertBox(self.assertOnlyBox(run), APPLICATION_TITLE, damaged("TazelDeck"))


if __name__ == "__main__":
    unittest.main()
