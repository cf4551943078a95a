"""Checks of the built product: what it imports, what it carries, and how it was linked. The
product is the packer's: the stub as linked (TazelStub.exe, its link map TazelStub.map) with the
resource section the packer added."""

import os
import pathlib
import re
import subprocess
import unittest

from pe import PeImage, parse_version_block

WIN_BUILD_ROOT = pathlib.Path(os.environ["TAZEL_WIN_BUILD_ROOT"])
ART_DIR = pathlib.Path(os.environ["TAZEL_ART_DIR"])
SOURCE_DIR = pathlib.Path(os.environ["TAZEL_SOURCE_DIR"])

# DLLs that Windows always maps from the system folder, whatever lies beside the program: the
# Known DLLs, and ntdll, which is in every process before the program's imports are looked at.
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "gdi32.dll", "gdiplus.dll",
    "imagehlp.dll", "imm32.dll", "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ntdll.dll",
    "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shcore.dll",
    "shell32.dll", "shlwapi.dll", "user32.dll", "wldap32.dll", "ws2_32.dll",
}
PAYLOAD = ["Tazel.dek"] + [f"Tazel{i}.cbx" for i in range(7)]
RT_ICON, RT_RCDATA, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 10, 14, 16, 24
LANG_EN_US, LANG_NEUTRAL = 1033, 0


WIN_BUILD = WIN_BUILD_ROOT / "win-i686"


def load(name: str = "TazelDeck.exe") -> PeImage:
    return PeImage((WIN_BUILD / name).read_bytes())


class ProductExecutableTest(unittest.TestCase):
    INSTALLER = "TazelDeck.exe"
    STUB_MAP = "TazelStub.map"

    @classmethod
    def setUpClass(cls):
        cls.image = load(cls.INSTALLER)
        cls.resources = cls.image.resources()

    def test_is_a_32bit_gui_program_without_link_timestamp(self):
        self.assertTrue(self.image.is_32bit)
        self.assertEqual(self.image.subsystem, 2)  # Windows GUI
        self.assertEqual(self.image.timestamp, 0)
        # Copied to the swap file before it runs from removable media or a network share, so the
        # payload cannot fault when the medium goes away.
        self.assertEqual(self.image.characteristics & 0x0C00, 0x0C00)

    def test_header_carries_the_hardening_flags(self):
        # Relocatable with its relocations kept (ASLR), data not executable (DEP), no structured
        # exception handlers, terminal-server aware.
        for flag, name in ((0x0040, "DYNAMIC_BASE"), (0x0100, "NX_COMPAT"), (0x0400, "NO_SEH"),
                           (0x8000, "TERMINAL_SERVER_AWARE")):
            self.assertTrue(self.image.dll_characteristics & flag, name)
        self.assertGreater(self.image.directories[5][1], 0, "no base relocations")
        # NO_SEH is a promise: no code of the image may put a handler on the thread's chain, which
        # starts at fs:0 on 32-bit Windows. (The C runtime's start-up reads fs:0x18, the TEB's own
        # address, which the pattern leaves alone.)
        listing = subprocess.run(["i686-w64-mingw32-objdump", "-d", WIN_BUILD / self.INSTALLER], check=True,
                                 capture_output=True, text=True).stdout
        self.assertIn("%fs:0x18", listing)  # the listing does show segment-relative accesses
        self.assertIsNone(re.search(r"%fs:(0x)?0(?![0-9a-fx])", listing), "code touches the handler chain")

    def test_starts_at_the_hardening_entry(self):
        # The linker's map of this very link: the C runtime's own entry would skip the hardening.
        link_map = (WIN_BUILD / self.STUB_MAP).read_text()
        match = re.search(r"^\s+0x([0-9a-f]+)\s+_?TazelEntry$", link_map, re.MULTILINE)
        self.assertIsNotNone(match, "TazelEntry is not in the link map")
        self.assertEqual(self.image.entry_point, int(match.group(1), 16) - self.image.image_base)

    def test_carries_no_exception_machinery_and_never_calls_the_runtime_abort(self):
        # Built without exceptions: nothing of the unwinder or the throw and catch support is linked.
        link_map = (WIN_BUILD / self.STUB_MAP).read_text()
        for machinery in ("_Unwind_", "__gxx_personality", "__cxa_throw", "__cxa_begin_catch", "libgcc_eh.a("):
            self.assertNotIn(machinery, link_map)
        # The installer's own code ends a run only through its last resort, never through the C
        # runtime's abort (its "abnormal program termination" box and status 3) or an assertion.
        own = [WIN_BUILD / "libtazel_core.a", WIN_BUILD / "libtazel_win32.a",
               WIN_BUILD / "CMakeFiles/tazel_cxx_runtime.dir/host/CxxRuntime.cpp.obj"]
        listing = subprocess.run(["i686-w64-mingw32-nm", "-u", *own], check=True, capture_output=True, text=True)
        undefined = {line.split()[-1] for line in listing.stdout.splitlines() if line.strip().startswith("U ")}
        self.assertIn("__Znwj", undefined)  # operator new: the listing does hold the code's references
        for forbidden in ("_abort", "__assert", "__wassert", "__ZSt9terminatev", "___cxa_pure_virtual"):
            self.assertNotIn(forbidden, undefined)

    def test_imports_only_dlls_the_system_folder_always_supplies(self):
        imported = {name.lower() for name in self.image.imported_dlls()}
        self.assertTrue(imported)
        self.assertLessEqual(imported, KNOWN_DLLS)
        self.assertEqual(self.image.delay_imported_dlls(), [])
        # The runtime is linked in: no compiler DLL travels with the program.
        self.assertEqual(sorted(p.name for p in WIN_BUILD.glob("*.dll")), [])

    def test_payload_entries_are_the_art_files_in_us_english(self):
        custom = {name: data for (rtype, name, lang), data in self.resources.items() if rtype == "CUSTOM"}
        self.assertEqual(sorted(custom), list(range(101, 109)))
        for i, file_name in enumerate(PAYLOAD):
            self.assertIn(("CUSTOM", 101 + i, LANG_EN_US), self.resources)
            self.assertEqual(self.resources[("CUSTOM", 101 + i, LANG_EN_US)], (ART_DIR / file_name).read_bytes(),
                             file_name)

    def test_icon_group_points_at_its_one_neutral_image(self):
        group = self.resources[(RT_GROUP_ICON, 1, LANG_NEUTRAL)]
        reserved, kind, count = (int.from_bytes(group[i:i + 2], "little") for i in (0, 2, 4))
        self.assertEqual((reserved, kind, count), (0, 1, 1))
        width, height, colours, _, planes, bits, size, ident = (
            group[6], group[7], group[8], group[9], int.from_bytes(group[10:12], "little"),
            int.from_bytes(group[12:14], "little"), int.from_bytes(group[14:18], "little"),
            int.from_bytes(group[18:20], "little"))
        self.assertEqual((width, height, colours, planes, bits, ident), (32, 32, 0, 1, 24, 30001))
        image = self.resources[(RT_ICON, 30001, LANG_NEUTRAL)]
        self.assertEqual(len(image), size)
        self.assertEqual([key for key in self.resources if key[0] == RT_ICON], [(RT_ICON, 30001, LANG_NEUTRAL)])
        self.assertEqual(self.resources[(RT_RCDATA, 201, LANG_NEUTRAL)], (ART_DIR / "Window.jpg").read_bytes())

    def test_version_block(self):
        version = parse_version_block(self.resources[(RT_VERSION, 1, LANG_EN_US)])
        self.assertEqual(version["file_version"], (2, 0, 0, 4))
        self.assertEqual(version["product_version"], (2, 0, 0, 4))
        self.assertEqual(version["file_flags"], 0)
        self.assertEqual(version["file_os"], 0x00000004)  # VOS__WINDOWS32
        self.assertEqual(version["file_type"], 1)  # VFT_APP
        self.assertEqual(version["translations"], [(0x409, 1200)])
        strings = version["strings"]["040904B0"]
        for key, value in {"FileVersion": "2.00.0004", "ProductVersion": "2.00.0004", "ProductName": "Ombrix",
                           "InternalName": "TazelDeck", "OriginalFilename": "TazelDeck.exe"}.items():
            self.assertEqual(strings.get(key), value, key)
        self.assertTrue(strings.get("CompanyName"))

    def test_application_manifest(self):
        manifest = self.resources[(RT_MANIFEST, 1, LANG_NEUTRAL)].decode("utf-8")
        self.assertIn('requestedExecutionLevel level="asInvoker"', manifest)
        self.assertIn('name="Microsoft.Windows.Common-Controls" version="6.0.0.0"', manifest)
        self.assertIn("PerMonitorV2", manifest)
        for vista_to_11 in ("e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                            "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                            "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"):
            self.assertIn(vista_to_11, manifest)


class CompressedPackageExecutableTest(ProductExecutableTest):
    """A compressed package is made of the stub with the decoder, held to the product's checks; its
    entries are checked by an independent decoder in test_packer.py."""
    INSTALLER = "tests/packages/TestCompressedDeck.exe"
    STUB_MAP = "TazelStubLzma.map"
    test_payload_entries_are_the_art_files_in_us_english = None


class TestPackagesTest(unittest.TestCase):
    def test_only_test_packages_carry_a_test_hook(self):
        # Test hooks are named "TazelTestHook..." so that a link map shows them; the injected
        # failures of system calls and the benchmark's marks come in objects of their own.
        product = (WIN_BUILD / "TazelStub.map").read_text()
        self.assertNotIn("TazelTestHook", product)
        self.assertNotIn("Faults.cpp", product)
        self.assertNotIn("Marks.cpp", product)
        for package, hook in (("TestOutOfMemory", "TazelTestHookMemoryRunsOut"),
                              ("TestWindows7", "TazelTestHookLooksMissing"),
                              ("TestWindows81", "TazelTestHookLooksMissing"),
                              ("TestFaults", "Faults.cpp.obj"),
                              ("TestMarks", "Marks.cpp.obj")):
            self.assertIn(hook, (WIN_BUILD / f"tests/packages/{package}Stub.map").read_text(), package)

    def test_missing_entries_are_absent_from_the_resources(self):
        for name, absent in (("TestMissing0.exe", 101), ("TestMissing3.exe", 104)):
            ids = {key[1] for key in load("tests/packages/" + name).resources() if key[0] == "CUSTOM"}
            self.assertNotIn(absent, ids, name)
            self.assertEqual(len(ids), 7, name)

    def test_described_texts_reach_the_version_block_as_written(self):
        # tests/packages/DescribedFace.package: a quote, a backslash and characters beyond ASCII,
        # one of them beyond the 16-bit range, reach the block unchanged.
        block = load("tests/packages/TestDescribedFace.exe").resources()[(RT_VERSION, 1, LANG_EN_US)]
        strings = parse_version_block(block)["strings"]["040904B0"]
        self.assertEqual([strings[key] for key in ("FileDescription", "InternalName", "OriginalFilename")],
                         ['T\u00e0zel "F\u00e4ces" \\ \u00dcn\u00efcode \U0001F0A1 installer for Ombrix',
                          "T\u00e0zelF\u00e4ces", "T\u00e0zelF\u00e4ces.exe"])


class WindowsPackerTest(unittest.TestCase):
    def test_is_a_32bit_console_program_carrying_the_stub(self):
        packer = load("TazelPack.exe")
        self.assertTrue(packer.is_32bit)
        self.assertEqual(packer.subsystem, 3)  # Windows console
        self.assertEqual(packer.dll_characteristics & 0x140, 0x140)
        self.assertIn((WIN_BUILD / "TazelStub.exe").read_bytes(), packer.data)
        self.assertIn((WIN_BUILD / "TazelStubLzma.exe").read_bytes(), packer.data)


class ProductSizeTest(unittest.TestCase):
    # What the 32-bit installer may add to the eight files it carries: its code, the window's
    # picture, icon, manifest and version block, with every section page-aligned in the file.
    # scripts/bench.sh shows the figure beside a bare window's.
    BEYOND_PAYLOAD_LIMIT = 95_000

    def test_32bit_executable_adds_little_to_its_payload(self):
        payload = sum((ART_DIR / name).stat().st_size for name in PAYLOAD)
        beyond = (WIN_BUILD / "TazelDeck.exe").stat().st_size - payload
        self.assertLessEqual(beyond, self.BEYOND_PAYLOAD_LIMIT, f"{beyond} bytes beyond the payload")


if __name__ == "__main__":
    unittest.main()
