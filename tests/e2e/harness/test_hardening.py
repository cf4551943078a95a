"""A DLL left beside the installer under a system DLL's name is never loaded into it.

Copies of tests/e2e/planted's planted.dll go into the Downloads folder the installer runs from,
each under a name the installer or the system DLLs it uses look up while it runs. A copy that is
loaded leaves a file in C:\\planted-evidence naming itself and the program that loaded it.

That a planted copy under a name is found at all is shown by Unhardened.exe, a control that uses
the same system services as the installer without restricting the DLL search; only the names it
loads are held against the installer. Wine's load order, and the names left out: tests/e2e/README.md.
"""

import os
import pwd
import shutil
import unittest

from expected import DEFAULT_FOLDER, DEFAULT_MISSING, EXIT_INSTALLED, SUCCESS, SUCCESS_TITLE, not_found_title
from scenario import ScenarioCase

# Looked up at run time by the installer (winmm, and msacm32 as winmm's own import) or by the
# system DLLs behind its window, boxes, COM objects and browse dialog.
CANDIDATES = ("winmm", "msacm32", "uxtheme", "msimg32", "dwmapi", "cryptbase", "propsys", "windowscodecs",
              "scrrun", "comctl32", "profapi", "sspicli")
EVIDENCE_FOLDER = "C:\\planted-evidence"
CONTROL = "Unhardened.exe"
PLANTED = "planted.dll"
# The control is done within a second of starting (several under emulation); a planted uxtheme
# leaves it stuck, and its evidence is written long before this runs out.
CONTROL_TIMEOUT = 8
CONTROL_TIMEOUT_EMULATED = 30


def evidence_entries(names):
    """{(dll name, program name)} from the evidence file names, in lower case: Wine reports a
    module under the spelling it was asked for, not the one on disk."""
    found = set()
    for name in names:
        stem = name[:-4] if name.lower().endswith(".txt") else name
        dll, _, host = stem.partition("--")
        found.add((dll.lower(), host.lower()))
    return found


class PlantedDllCase(ScenarioCase):
    # Names the control loads that this installer cannot keep out under Wine (tests/e2e/README.md).
    NOT_HELD = ("msimg32",)
    # {name: whether the control loaded its planted copy}; the same for every scenario of one test
    # process, whichever installer it plays, so worked out once for all of them.
    _control_loaded = None

    def setUp(self):
        super().setUp()
        self.planted_build = os.path.join(self.config.win_build, "tests", "e2e", "planted")
        for name in (CONTROL, PLANTED):
            if not os.path.isfile(os.path.join(self.planted_build, name)):
                self.skipTest(f"{name} is not built in {self.planted_build}")
        self.installer_path()  # skips when the installer is not built
        user = pwd.getpwuid(self.prefix.account.uid).pw_name
        self.downloads = f"C:\\users\\{user}\\Downloads"
        self.prefix.make_folder(self.downloads)
        self.prefix.import_registry("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]\n" +
                                    "".join(f"\"{name}\"=\"native,builtin\"\n" for name in CANDIDATES))
        self.control = self.place(os.path.join(self.planted_build, CONTROL))
        self.installer = self.place(self.installer_path())

    # Preparing -------------------------------------------------------------------------------

    def place(self, source, name=None):
        """Copies a file into the Downloads folder; returns its Windows path."""
        windows_path = f"{self.downloads}\\{name or os.path.basename(source)}"
        target = self.prefix.unix_path(windows_path)
        shutil.copyfile(source, target)
        self.prefix.account.give(target)
        return windows_path

    def plant(self, names):
        for name in names:
            self.place(os.path.join(self.planted_build, PLANTED), f"{name}.dll")

    def unplant(self, names):
        for name in names:
            os.remove(self.prefix.unix_path(f"{self.downloads}\\{name}.dll"))

    def clear_evidence(self):
        shutil.rmtree(self.prefix.unix_path(EVIDENCE_FOLDER), ignore_errors=True)
        self.prefix.make_folder(EVIDENCE_FOLDER)

    def evidence(self):
        return evidence_entries(self.prefix.listing(EVIDENCE_FOLDER))

    # The control -----------------------------------------------------------------------------

    def control_loaded(self):
        if PlantedDllCase._control_loaded is None:
            PlantedDllCase._control_loaded = self.run_control()
        return PlantedDllCase._control_loaded

    def control_timeout(self):
        return CONTROL_TIMEOUT_EMULATED if self.session.route.emulated else CONTROL_TIMEOUT

    def run_control(self):
        """Runs the control once with nothing planted, then once per name with only that name
        planted, so that one planted DLL cannot keep another from being looked up (a planted
        winmm, for one, never asks for msacm32)."""
        self.clear_evidence()
        run = self.prefix.run_driver(self.control, ["browse=cancel", "exit"], timeout=self.control_timeout(),
                                     transcript=os.path.join(self.output, "control-alone.jsonl"))
        self.assertEqual(run.returncode, 0, "the control does not run:\n" + run.describe())
        self.assertEqual(run.exit_code, 0, "a service the control uses failed:\n" + run.describe())
        self.assertEqual(self.evidence(), set())

        loaded = {}
        for name in CANDIDATES:
            self.clear_evidence()
            self.plant([name])
            self.prefix.run_driver(self.control, ["browse=cancel", "exit"], timeout=self.control_timeout(),
                                   transcript=os.path.join(self.output, f"control-{name}.jsonl"))
            self.unplant([name])
            found = self.evidence()
            loaded[name] = (f"{name}.dll", CONTROL.lower()) in found
            self.assertTrue(found <= {(f"{name}.dll", CONTROL.lower())}, f"unexpected evidence: {sorted(found)}")
        self.record("the control loaded: " + " ".join(n for n in CANDIDATES if loaded[n]))
        self.record("the control did not load: " + " ".join(n for n in CANDIDATES if not loaded[n]))
        return loaded

    def names_to_hold_against_the_installer(self):
        loaded = self.control_loaded()
        names = [name for name in CANDIDATES if loaded[name] and name not in self.NOT_HELD]
        # winmm is the one DLL the installer asks for by name; if a program without the hardening
        # does not pick up the planted copy either, this Wine cannot tell the two apart.
        self.assertIn("winmm", names, "the control did not load the planted winmm.dll; the scenario proves nothing here")
        return names

    # The installer ---------------------------------------------------------------------------

    def run_installer_with_planted(self, actions, exposed=()):
        """Plays the installer with every name planted that the control loaded; only the names in
        `exposed` may be loaded from beside it."""
        names = self.names_to_hold_against_the_installer()
        self.plant(names)
        self.clear_evidence()
        run = self.prefix.run_driver(self.installer, actions, timeout=60,
                                     transcript=os.path.join(self.output, "driver.jsonl"))
        self.record("planted beside the installer: " + " ".join(names))
        # The evidence first: a DLL standing in for a real one may have broken the run as well.
        host = os.path.basename(self.installer_path()).lower()
        loaded = sorted(dll[:-4] for dll, program in self.evidence() if program == host)
        self.assertEqual(loaded, sorted(exposed), "planted DLLs loaded beside the installer")
        self.assertTrue(all(program == host for _dll, program in self.evidence()), sorted(self.evidence()))
        self.assertEqual(run.returncode, 0, "the driver could not play the script:\n" + run.describe())
        return run


class PlantedDlls(PlantedDllCase):
    def test_default_folder_run_loads_no_planted_dll(self):
        self.prefix.make_folder(DEFAULT_FOLDER)
        run = self.run_installer_with_planted(["window", "box=ok"])

        self.assertBox(self.assertOnlyBox(run), SUCCESS_TITLE, SUCCESS)
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        self.assertFilesEqual(DEFAULT_FOLDER, self.deck())

    def test_browse_dialog_run_loads_no_planted_dll(self):
        self.prefix.make_folder("C:\\picked")
        run = self.run_installer_with_planted(["box=ok", "browse", "select=C:\\picked", "press=ok", "box=ok"])

        self.assertEqual(len(run.boxes), 2, run.describe())
        self.assertBox(run.boxes[0], not_found_title(DEFAULT_FOLDER), DEFAULT_MISSING, buttons=("OK", "Cancel"))
        self.assertBox(run.boxes[1], SUCCESS_TITLE, SUCCESS)
        self.assertEqual(run.exit_code, EXIT_INSTALLED)
        self.assertFilesEqual("C:\\picked", self.deck())


class PlantedDllsWithoutTheSearchRestriction(PlantedDlls):
    """Windows 7 or Vista without update KB2533623: SetDefaultDllDirectories is missing, and the
    installer can only take the current folder out of the search, and loads what the system asks
    for by name alone beforehand by its full path in the system folder."""
    INSTALLER = "TestWindows7.exe"
    NOT_HELD = ()


if __name__ == "__main__":
    unittest.main()
