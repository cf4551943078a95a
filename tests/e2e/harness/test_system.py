"""The installer on systems that differ from the usual one: scripting runtime gone, a larger
screen scale."""

import time
import unittest

from expected import DEFAULT_FOLDER, EXIT_INSTALLED, EXIT_REPORT, SUCCESS, SUCCESS_TITLE
from scenario import ScenarioCase

CO_E_CLASSSTRING = 0x800401F3
# The window was designed as 6195 x 2460 twips of client area; 1440 twips make an inch.
CLIENT_TWIPS = (6195, 2460)


class ScriptingRuntimeMissing(ScenarioCase):
    def test_folder_test_failure_is_reported(self):
        self.prefix.make_folder(DEFAULT_FOLDER)
        self.prefix.import_registry("REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\Software\\Classes\\Scripting.FileSystemObject]\n")
        before = self.prefix.snapshot()
        run = self.run_installer("window", "box=ok")

        code = self.assertGenericReport(self.assertOnlyBox(run))
        self.assertEqual(code, CO_E_CLASSSTRING)
        self.assertEqual(run.exit_code, EXIT_REPORT)
        self.assertNothingWritten(before)


def twips_to_pixels(twips, dpi):
    return (twips * dpi + 720) // 1440


def painted(shot, window):
    """Whether the window's client area on screen holds more than one colour."""
    width, _height, pixels = shot
    left, top = window["client_origin"]
    client_width, client_height = window["client"]
    colours = set()
    for y in range(top, top + client_height, 2):
        row = (y * width + left) * 3
        for x in range(0, client_width * 3, 6):
            colours.add(pixels[row + x:row + x + 3])
    return len(colours) > 1


class ScreenScale(ScenarioCase):
    def show_at(self, dpi):
        self.prefix.make_folder(DEFAULT_FOLDER)
        self.prefix.import_registry(
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"
            f"\"LogPixels\"=dword:{dpi:08x}\n")
        shots = {}

        def shoot(event, run):
            # Shown is not yet drawn: the X server maps the window and the program paints it a
            # moment later. The pause leaves time to wait for that.
            window = run.of("window")[0]
            deadline = time.monotonic() + 1.5
            while True:
                shot = self.screenshot(f"{event['name']}-{dpi}dpi")
                if painted(shot, window) or time.monotonic() > deadline:
                    break
                time.sleep(0.1)
            shots[event["name"]] = shot

        run = self.run_installer("window", "sync=window", "box", "sync=box", "press=ok",
                                 hooks={"window": shoot, "box": shoot})
        self.assertBox(self.assertOnlyBox(run), SUCCESS_TITLE, SUCCESS)
        self.assertEqual(run.exit_code, EXIT_INSTALLED)

        window = run.of("window")[0]
        self.assertEqual(window["dpi"], dpi, "the screen scale did not take")
        self.assertTrue(painted(shots["window"], window), "the client area on screen is a single colour")
        expected = [twips_to_pixels(t, dpi) for t in CLIENT_TWIPS]
        self.assertEqual(window["client"], expected, "client area in pixels")

    def test_at_96_dpi(self):
        self.show_at(96)

    def test_at_144_dpi(self):
        self.show_at(144)


if __name__ == "__main__":
    unittest.main()
