"""The Windows package maker, TazelPack.exe, under Wine: from the same description and files it makes
the very bytes the Linux packer and the build make, through folders Windows names only in wide
characters and paths in every form Windows takes; a bad description writes nothing."""

import os
import re
import subprocess

from winelab import REPO, WINE64, InstallerTestCase

# Not in any ANSI code page together: the packer must keep paths wide throughout.
FOLDER = "C:\\Πακέτο 🂡"
DECK = ["Tazel.dek"] + [f"Tazel{i}.cbx" for i in range(7)]
# A folder whose path is longer than the 260 characters of Windows' old limit.
LONG = FOLDER + "".join(f"\\{i} " + " ".join(["Tazel long folder name"] * 3) for i in range(4))


class WindowsPacker(InstallerTestCase):
    INSTALLER = "TazelPack.exe"

    def pack(self, *args):
        packer = self.prefix.add_program(self.installer_path())
        result = subprocess.run(self.prefix.command(WINE64, [packer, *args]), capture_output=True, timeout=120)
        self.prefix.stop()
        return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")

    def setUp(self):
        super().setUp()
        self.product = self.config.program("TazelDeck.exe")
        art = os.path.join(self.config.build_root, "native", "tools", "art", "out")
        with open(os.path.join(REPO, "resources", "TazelDeck.package"), "rb") as f:
            self.description = f.read()
        self.prefix.make_folder(FOLDER + "\\art")
        for name in DECK:
            with open(os.path.join(art, name), "rb") as f:
                self.prefix.write_file(f"{FOLDER}\\art\\{name}", f.read())

    def test_makes_the_builds_product_byte_for_byte(self):
        # And the compressed deck, whose chunks are compressed on threads of the system's own.
        compressed = self.description.replace(b"[files]", b"compression = lzma\n\n[files]")
        for description, built in ((self.description, self.product),
                                   (compressed, self.config.program("TestCompressedDeck.exe"))):
            with self.subTest(built=os.path.basename(built)):
                self.prefix.write_file(f"{FOLDER}\\TazelDeck.package", description)
                status, out, err = self.pack(f"{FOLDER}\\TazelDeck.package", "--sources", f"{FOLDER}\\art",
                                             "--out", f"{FOLDER}\\out")
                self.assertEqual(status, 0, err)
                self.assertEqual(out.strip(), f"{FOLDER}\\out\\TazelDeck.exe")
                with open(built, "rb") as f:
                    self.assertTrue(self.prefix.read_file(f"{FOLDER}\\out\\TazelDeck.exe") == f.read(),
                                    "TazelPack.exe made other bytes than the build")
                self.assertEqual(self.prefix.listing(f"{FOLDER}\\out"), ["TazelDeck.exe"])

    def test_takes_every_path_form_windows_does(self):
        # The sources beside the description, named as their folder's part "art/Tazel.dek": joined to
        # a \\?\ path, whose '/' the system does not take for a separator.
        art = os.path.join(self.config.build_root, "native", "tools", "art", "out")
        self.prefix.make_folder(LONG + "\\art")
        for name in DECK:
            with open(os.path.join(art, name), "rb") as f:
                self.prefix.write_file(f"{LONG}\\art\\{name}", f.read())
        self.prefix.write_file(f"{LONG}\\TazelDeck.package",
                               re.sub(rb"(?m)^(Tazel\S*) = ", rb"\1 = art/", self.description))
        share = self.prefix.map_share("localhost", "tazel", FOLDER) + LONG[len(FOLDER):]
        self.prefix.map_drive("d", self.prefix.unix_path(LONG))
        forms = [  # description, --sources (None: the description's folder), --out
            (f"{LONG}\\TazelDeck.package", LONG, f"{LONG}\\out"),
            (f"\\\\?\\{LONG}\\TazelDeck.package", None, f"\\\\?\\{LONG}\\out"),
            (f"\\\\?\\UNC\\{share[2:]}\\TazelDeck.package", f"\\\\?\\UNC\\{share[2:]}", f"{share}\\out"),
            ("D:TazelDeck.package", None, "D:out"),  # drive-relative: D:'s current folder, its top
        ]
        self.assertGreater(len(LONG), 260)
        with open(self.product, "rb") as f:
            product = f.read()
        for description, sources, out in forms:
            with self.subTest(description=description):
                given = ["--sources", sources] if sources else []
                status, printed, err = self.pack(description, *given, "--out", out)
                self.assertEqual(status, 0, err)
                self.assertEqual(printed.strip(), f"{out}\\TazelDeck.exe")
                self.assertTrue(self.prefix.read_file(f"{LONG}\\out\\TazelDeck.exe") == product,
                                "TazelPack.exe made other bytes than the build")
                self.assertEqual(self.prefix.listing(f"{LONG}\\out"), ["TazelDeck.exe"])
                os.remove(self.prefix.unix_path(f"{LONG}\\out\\TazelDeck.exe"))

    def test_a_bad_description_writes_nothing(self):
        bad = self.description.replace(b"Tazel3.cbx = Tazel3.cbx", b"CON.cbx = Tazel3.cbx")
        self.prefix.write_file(f"{FOLDER}\\Bad.package", bad)
        status, out, err = self.pack(f"{FOLDER}\\Bad.package", "--sources", f"{FOLDER}\\art", "--out", f"{FOLDER}\\out")
        self.assertEqual(status, 1)
        self.assertEqual(out, "")
        self.assertIn(f"{FOLDER}\\Bad.package:11: the file name 'CON.cbx' is the device CON", err)
        self.assertFalse(os.path.exists(self.prefix.unix_path(f"{FOLDER}\\out")))
        # A description named as a device, which Windows would open in its place: a file on Linux.
        self.prefix.write_file(f"{FOLDER}\\nul.package", self.description)
        status, out, err = self.pack(f"{FOLDER}\\nul.package", "--sources", f"{FOLDER}\\art", "--out", f"{FOLDER}\\out")
        self.assertEqual((status, out), (1, ""))
        self.assertIn(f"{FOLDER}\\nul.package: the name 'nul.package' is the device NUL to Windows", err)
        self.assertFalse(os.path.exists(self.prefix.unix_path(f"{FOLDER}\\out")))
