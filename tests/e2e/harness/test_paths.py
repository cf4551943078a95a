"""Destination paths at the edges: a picked folder as long as a shell path can be, the machine-wide
application data folder named outside the ANSI code page, and that folder at a drive root."""

import os
import unittest

from expected import (DEFAULT_MISSING, EXIT_CANCELLED, EXIT_INSTALLED, SUCCESS, SUCCESS_TITLE, not_found_title)
from scenario import ScenarioCase

# A shell path buffer holds 260 characters, the terminating NUL included.
LONGEST_SHELL_PATH = 259
SHELL_FOLDERS = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer"
HOST_FOLDERS = "\\Ombrix\\graphics"


def nested_folder(drive, length, levels):
    """A folder path of exactly `length` characters on `drive`, split into `levels` folder names
    of about equal length, each well under the 255 a name may have."""
    room = length - len(drive + ":\\") - (levels - 1)
    names = []
    for level in range(levels):
        size = room // levels + (1 if level < room % levels else 0)
        stem = f"level{level + 1}-card-art-archive-"
        names.append((stem + "abcdefghijklmnopqrstuvwxyz" * 10)[:size])
    path = drive + ":\\" + "\\".join(names)
    assert len(path) == length and max(len(n.encode()) for n in names) < 255
    return path


class LongPickedFolder(ScenarioCase):
    def test_picked_folder_of_the_longest_shell_path(self):
        self.prefix.map_drive("d")
        folder = nested_folder("D", LONGEST_SHELL_PATH, levels=4)
        self.prefix.make_folder(folder)
        deck = self.deck()
        # Every target lies past MAX_PATH, so each write needs the long-path form.
        self.assertGreaterEqual(min(len(folder) + 1 + len(name) for name in deck), 260)

        run = self.run_installer("box=ok", "browse", f"select={folder}", "press=ok", "box=ok")

        self.assertEqual(run.of("selected")[0]["item"], folder.rsplit("\\", 1)[1])
        self.assertEqual(len(run.boxes), 2, run.describe())
        self.assertBox(run.boxes[1], SUCCESS_TITLE, SUCCESS)
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        self.assertFilesEqual(folder, deck)


class RedirectedApplicationData(ScenarioCase):
    """CSIDL_COMMON_APPDATA moved elsewhere, as the machine's settings may have it."""

    def redirect(self, folder):
        """Points the machine-wide application data folder at `folder`. Written as a Unicode
        .reg file: reg reads a REGEDIT4 file in the ANSI code page, which has no Greek or Japanese."""
        value = folder.replace("\\", "\\\\")
        text = "Windows Registry Editor Version 5.00\r\n\r\n"
        for key in ("User Shell Folders", "Shell Folders"):
            text += f"[{SHELL_FOLDERS}\\{key}]\r\n\"Common AppData\"=\"{value}\"\r\n\r\n"
        self.prefix.import_registry_file(b"\xff\xfe" + text.encode("utf-16-le"))

    def assertInstalledWithoutQuestion(self, destination):
        installer = self.prefix.add_program(self.installer_path())
        run = self.prefix.run_driver(installer, ["window", "box=ok"],
                                     transcript=os.path.join(self.output, "driver.jsonl"))
        # The first box before the driver's verdict: a question instead of M5 names the folder
        # the installer looked for.
        self.assertTrue(run.boxes, run.describe())
        self.assertBox(run.boxes[0], SUCCESS_TITLE, SUCCESS)
        self.assertEqual(run.returncode, 0, "the driver could not play the script:\n" + run.describe())
        self.assertEqual(len(run.boxes), 1, run.describe())
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        self.assertFilesEqual(destination, self.deck())
        self.assertFalse(os.path.exists(self.prefix.unix_path("C:\\ProgramData\\Ombrix")))

    def test_greek_and_japanese_folder_names(self):
        data = "C:\\Δεδομένα\\データ"
        self.redirect(data)
        self.prefix.make_folder(data + HOST_FOLDERS)
        self.assertInstalledWithoutQuestion(data + HOST_FOLDERS)

    def test_greek_and_japanese_names_in_the_question(self):
        data = "C:\\Δεδομένα\\データ"
        self.redirect(data)
        # The shell hands out a special folder only while it exists.
        self.prefix.make_folder(data)

        run = self.run_installer("box=cancel")

        self.assertBox(self.assertOnlyBox(run), not_found_title(data + HOST_FOLDERS), DEFAULT_MISSING,
                       buttons=("OK", "Cancel"))
        self.assertEqual(run.exit_code, EXIT_CANCELLED)

    def test_drive_root(self):
        # The shell names a drive root with its separator: "D:\" gives D:\Ombrix\graphics.
        self.prefix.map_drive("d")
        self.redirect("D:\\")
        self.prefix.make_folder("D:" + HOST_FOLDERS)
        self.assertInstalledWithoutQuestion("D:" + HOST_FOLDERS)


if __name__ == "__main__":
    unittest.main()
