"""Single system calls failing as a real Windows lets them fail and no Wine prefix can be made to:
a test build (tests/hooks/Faults.cpp) fails the call TAZEL_TEST_FAULT names and passes every
other on. What the player is told, the exit status and the files are held to what a failure at
that point of the run gets."""

import os
import re
import unittest

from expected import (COPY_FAILED, DECK, DEFAULT_FOLDER, DEFAULT_MISSING, ERROR_TITLE, EXIT_CANCELLED,
                      EXIT_COPY_FAILED, EXIT_INSTALLED, EXIT_REPORT, SUCCESS, SUCCESS_TITLE, not_found_title)
from scenario import ScenarioCase
from winelab import MAIN_WINDOW_TITLE, Prefix

OLD_DECK = b"the deck installed before"
LEFTOVER = "Tazel4.cbx.7ffffffc-0.tmp"  # an ended run's


class InjectedFaults(ScenarioCase):
    INSTALLER = "TestFaults.exe"

    def setUp(self):
        super().setUp()
        self.scenario_output = self.output

    def fresh(self, fault):
        """A prefix of its own for each fault, with the deck installed before and its transcript in a
        folder of its own; the fault is set for every Wine command of it."""
        self.prefix = Prefix(self.session, self.id().rsplit(".", 1)[-1])
        self.addCleanup(self.prefix.close)
        self.output = os.path.join(self.scenario_output, re.sub(r"[^A-Za-z0-9.-]+", "_", fault))
        self.prefix.environment["TAZEL_TEST_FAULT"] = fault
        self.prefix.make_folder(DEFAULT_FOLDER)
        self.prefix.write_file(DEFAULT_FOLDER + "\\Tazel.dek", OLD_DECK)

    def test_a_failed_write_keeps_the_earlier_copy(self):
        # Writing, flushing, or making the target's path whole fails on the first file: the copy's
        # own error, the deck installed before untouched, no temporary file left.
        for fault in ("WriteFile", "FlushFileBuffers", "GetFullPathNameW:\\Tazel.dek"):
            with self.subTest(fault):
                self.fresh(fault)
                before = self.prefix.snapshot()
                run = self.run_installer("box=ok")
                self.assertBox(self.assertOnlyBox(run), ERROR_TITLE, COPY_FAILED)
                self.assertEqual(run.exit_code, EXIT_COPY_FAILED)
                self.assertNothingWritten(before)

    def test_the_decoder_on_one_processor_and_without_memory_for_an_entry(self):
        # The compressed deck: on a machine of one processor both halves of each large entry are
        # decoded on the installer's own thread (elsewhere the later one on a second), and the deck
        # installs the same; with no memory to decode an entry into, the copy stops there, after
        # the JPEG, which is stored as it is.
        self.fresh("GetSystemInfo")
        run = self.run_installer("box=ok", installer="TestCompressedFaults.exe")
        self.assertBox(self.assertOnlyBox(run), SUCCESS_TITLE, SUCCESS)
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        product = self.payload("TazelDeck.exe")
        self.assertFilesEqual(DEFAULT_FOLDER, {name: product[resource] for name, resource in DECK})

        self.fresh("VirtualAlloc")
        run = self.run_installer("box=ok", installer="TestCompressedFaults.exe")
        self.assertBox(self.assertOnlyBox(run), ERROR_TITLE, COPY_FAILED)
        self.assertEqual(run.exit_code, EXIT_COPY_FAILED)
        self.assertFilesEqual(DEFAULT_FOLDER, {"Tazel.dek": product[101]})

    def test_leftovers_that_cannot_be_looked_at_stay(self):
        # Neither the search for leftovers nor a leftover's own path: the deck is installed all the
        # same, and the leftover stays for a later run.
        for fault in ("GetFullPathNameW:.*.tmp", "GetFullPathNameW:-0.tmp"):
            with self.subTest(fault):
                self.fresh(fault)
                self.prefix.write_file(f"{DEFAULT_FOLDER}\\{LEFTOVER}", b"leftover")
                run = self.run_installer("box=ok")
                self.assertBox(self.assertOnlyBox(run), SUCCESS_TITLE, SUCCESS)
                self.assertEqual(run.exit_code, EXIT_INSTALLED)
                self.assertFilesEqual(DEFAULT_FOLDER, dict(self.deck(), **{LEFTOVER: b"leftover"}))

    def test_failures_before_the_copy_get_the_generic_report(self):
        # (fault, the code the report gives, whether the window was shown first)
        rows = [
            ("CoInitializeEx", 0x8000FFFF, False),
            ("RegisterClassExW", 8, False),
            ("CreateWindowExW", 8, False),
            ("CreateFontIndirectW", 8, False),
            ("CoCreateInstance:scripting", 0x80070005, True),
            ("FolderExists:names", 0x80020006, True),
            ("FolderExists:invoke", 0x80010108, True),
            ("FolderExists:exception", 0x800A0046, True),
            ("FolderExists:type", 0x80020005, True),
            # The package record cannot be loaded: the report comes before the window is shown.
            ("LoadResource", 1812, False),
        ]
        for fault, code, shown in rows:
            with self.subTest(fault):
                self.fresh(fault)
                before = self.prefix.snapshot()
                run = self.run_installer("box=ok")
                self.assertEqual(self.assertGenericReport(self.assertOnlyBox(run)), code)
                self.assertEqual(run.exit_code, EXIT_REPORT)
                self.assertEqual(any(e["title"] == MAIN_WINDOW_TITLE for e in run.of("shown")), shown)
                self.assertNothingWritten(before)
                if fault == "FolderExists:exception":
                    # The scripting object's own text, filled in only when asked.
                    self.assertTrue(run.boxes[0]["text"].endswith(":\r\nPermission denied"), run.boxes[0]["text"])

    def test_no_machine_wide_folder_is_asked_for_as_missing(self):
        # The shell names no application-data folder: the run goes on with the graphics folder
        # alone, which the folder test finds missing.
        for fault in ("SHGetSpecialFolderLocation", "SHGetPathFromIDListW"):
            with self.subTest(fault):
                self.fresh(fault)
                run = self.run_installer("box=cancel")
                self.assertBox(self.assertOnlyBox(run), not_found_title("\\Ombrix\\graphics"), DEFAULT_MISSING,
                               buttons=("OK", "Cancel"))
                self.assertEqual(run.exit_code, EXIT_CANCELLED)

    def test_drawing_failures_do_not_stop_the_run(self):
        # No imaging component or no bitmap for the picture, no off-screen buffer, no paint device
        # context, no text measure: the window shows what it can, and the deck is installed.
        for fault in ("CoCreateInstance:imaging", "CreateDIBSection", "CreateCompatibleBitmap", "BeginPaint",
                      "GetTextExtentPoint32W"):
            with self.subTest(fault):
                self.fresh(fault)
                run = self.run_installer("window", "box=ok")
                self.assertBox(self.assertOnlyBox(run), SUCCESS_TITLE, SUCCESS)
                self.assertEqual(run.exit_code, EXIT_INSTALLED)
                self.assertFilesEqual(DEFAULT_FOLDER, self.deck())


if __name__ == "__main__":
    unittest.main()
