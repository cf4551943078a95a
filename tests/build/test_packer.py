"""The package maker as a publisher meets it: the Linux tazelpack makes the build's product byte for
byte, runs without the project's packages, and refuses bad stubs, bad sources and unwritable output
folders with a clear message and nothing written. The product it makes carries every resource the
resource compiler gave the product before, read by an independent reader, and only its package
record besides."""

import hashlib
import os
import pathlib
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree
import zlib

# Debian's python3-pefile, whichever Python runs the tests.
sys.path.append("/usr/lib/python3/dist-packages")
import pefile  # noqa: E402

HERE = pathlib.Path(__file__).resolve().parent
REPO = HERE.parents[1]
BUILD = pathlib.Path(os.environ["TAZEL_WIN_BUILD_ROOT"])
ART = pathlib.Path(os.environ["TAZEL_ART_DIR"])
PACKER = BUILD / "native" / "packer" / "tazelpack"
BUILD_PACKER = BUILD / "native" / "packer" / "tazelpack-build"
PRODUCT = BUILD / "win-i686" / "TazelDeck.exe"
STUB = BUILD / "win-i686" / "TazelStub.exe"
LZMA_STUB = BUILD / "win-i686" / "TazelStubLzma.exe"
COMPRESSED = BUILD / "win-i686" / "tests" / "packages" / "TestCompressedDeck.exe"
DECK = ["Tazel.dek"] + [f"Tazel{i}.cbx" for i in range(7)]


def decode_entry(stored):
    """A compressed entry's bytes, decoded by Python's own LZMA (liblzma), not the installer's:
    the head (length, delta distance, method, LZMA properties, chunks), each chunk as an .lzma
    stream or as it is stored, then the delta filter undone."""
    import lzma
    length, distance = struct.unpack_from("<II", stored, 0)
    method, properties, count = stored[8], stored[9:14], stored[14]
    chunks = [struct.unpack_from("<II", stored, 15 + 8 * i) for i in range(count)]
    at, out = 15 + 8 * count, bytearray()
    for decoded, size in chunks:
        data = stored[at:at + size]
        out += lzma.decompress(properties + struct.pack("<Q", decoded) + data, format=lzma.FORMAT_ALONE) if method else data
        at += size
    assert at == len(stored) and len(out) == length
    if distance:
        for i in range(distance, len(out)):
            out[i] = (out[i] + out[i - distance]) & 0xFF
    return bytes(out)


def resources(image):
    """{(type, name, language): bytes} of every resource of a pefile image, names as text."""
    found = {}
    for kind in image.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in kind.directory.entries:
            for language in name.directory.entries:
                entry = language.data.struct
                key = tuple(str(e.name) if e.name is not None else e.id for e in (kind, name, language))
                found[key] = image.get_data(entry.OffsetToData, entry.Size)
    return found


def png(width, height):
    """An RGB PNG of 8 bits a sample, all black."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + bytes(3 * width) for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def resource_list(path):
    """'type name language size sha256' of every resource, as pefile reads them."""
    image = pefile.PE(str(path))
    rows = []
    for kind in image.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in kind.directory.entries:
            for language in name.directory.entries:
                entry = language.data.struct
                data = image.get_data(entry.OffsetToData, entry.Size)
                rows.append(f"{kind.name or kind.id} {name.name or name.id} {language.id} {entry.Size} "
                            f"{hashlib.sha256(data).hexdigest()}")
    return image, rows


class PackerTest(unittest.TestCase):
    def setUp(self):
        self.work = pathlib.Path(tempfile.mkdtemp(prefix="tazel-packer-"))
        self.addCleanup(shutil.rmtree, self.work)

    def pack(self, *args, packer=PACKER):
        return subprocess.run([str(packer), *map(str, args)], capture_output=True, text=True, timeout=60)

    def test_makes_the_builds_product_and_carries_what_the_resource_compiler_gave(self):
        out = self.work / "out"
        result = self.pack(REPO / "resources" / "TazelDeck.package", "--sources", ART, "--out", out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, f"{out / 'TazelDeck.exe'}\n")
        self.assertEqual((out / "TazelDeck.exe").read_bytes(), PRODUCT.read_bytes())
        self.assertEqual(os.listdir(out), ["TazelDeck.exe"])

        image, rows = resource_list(PRODUCT)
        recorded = [line for line in (HERE / "product-resources.txt").read_text().splitlines()
                    if line and not line.startswith("#")]
        self.assertEqual([row for row in rows if row not in recorded], [row for row in rows if row.startswith("PACKAGE 1 0 ")])
        self.assertEqual(len([row for row in rows if row.startswith("PACKAGE ")]), 1)
        self.assertEqual(sorted(set(recorded) - set(rows)), [])
        self.assertTrue(image.verify_checksum())
        self.assertEqual(image.OPTIONAL_HEADER.FileAlignment, 0x1000)

    def test_runs_without_the_projects_packages(self):
        # Only the C library and its loader: the C++ runtime is linked in.
        libraries = subprocess.run(["ldd", str(PACKER)], capture_output=True, text=True, check=True).stdout
        needed = {line.split()[0] for line in libraries.splitlines() if "=>" in line}
        self.assertEqual(needed - {"libc.so.6", "libm.so.6"}, set(), libraries)

    def test_a_bad_description_is_reported_by_line_and_nothing_is_written(self):
        description = self.work / "bad.package"
        text = (REPO / "resources" / "TazelDeck.package").read_text().replace("Tazel3.cbx = ", "CON.cbx = ")
        description.write_text(text)
        result = self.pack(description, "--sources", ART, "--out", self.work / "out")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, "")
        self.assertIn(f"{description}:11: the file name 'CON.cbx' is the device CON", result.stderr)
        self.assertFalse((self.work / "out").exists())

    def test_the_package_script_packs_a_publishers_package_or_nothing(self):
        env = dict(os.environ, TAZEL_BUILD_DIR=str(BUILD), TAZEL_PACKER=str(PACKER))
        script = ["bash", str(REPO / "scripts" / "package.sh")]
        description = REPO / "resources" / "TazelDeck.package"
        result = subprocess.run(script + [str(description), "--sources", str(ART), "--out", str(self.work / "good")],
                                capture_output=True, text=True, env=env, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(os.listdir(self.work / "good")), ["SHA256SUMS", "TazelDeck.exe"])
        self.assertEqual((self.work / "good" / "TazelDeck.exe").read_bytes(), PRODUCT.read_bytes())

        bad = self.work / "bad.package"
        bad.write_text(description.read_text().replace("display-name = Tazel Deck", "display-name ="))
        result = subprocess.run(script + [str(bad), "--sources", str(ART), "--out", str(self.work / "bad")],
                                capture_output=True, text=True, env=env, timeout=120)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn(f"{bad}:4: the display name is empty", result.stderr)
        self.assertFalse((self.work / "bad").exists())

    def stub_with(self, edit):
        data = bytearray(STUB.read_bytes())
        edit(data, struct.unpack_from("<I", data, 0x3C)[0])
        stub = self.work / f"{edit.__name__}.exe"
        stub.write_bytes(bytes(data))
        return stub

    def test_bad_stubs_bad_sources_and_unwritable_folders_are_refused_whole(self):
        def signed(data, pe):
            struct.pack_into("<II", data, pe + 24 + 96 + 8 * 4, len(data), 8)
        def pe32_plus(data, pe):
            struct.pack_into("<H", data, pe + 24, 0x20B)
        def not_pe(data, pe):
            data[pe:pe + 4] = b"NE\0\0"
        def overlay(data, pe):
            data.extend(b"appended")
        huge = self.work / "huge.cbx"
        with open(huge, "wb") as f:
            f.truncate((1 << 30) + 1)  # sparse: nothing of it is written
        blocker = self.work / "a file"
        blocker.write_bytes(b"")
        cases = [
            ("signed", self.stub_with(signed), ART / "Tazel.dek", self.work / "out", "signed"),
            ("PE32+", self.stub_with(pe32_plus), ART / "Tazel.dek", self.work / "out", "PE32+"),
            ("not PE", self.stub_with(not_pe), ART / "Tazel.dek", self.work / "out", "PE"),
            ("overlay", self.stub_with(overlay), ART / "Tazel.dek", self.work / "out", "after"),
            ("too large", STUB, huge, self.work / "out", "is too large: 1073741825 bytes"),
            ("unwritable folder", STUB, ART / "Tazel.dek", blocker / "out", "cannot make the folder"),
        ]
        for label, stub, source, out, message in cases:
            with self.subTest(label):
                result = self.pack("--stub", stub, "--out", out, "--output-name", "One", "--unchecked",
                                   "--installer-name=One", "--display-name=One", f"--file=One.cbx={source}",
                                   packer=BUILD_PACKER)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn(message, result.stderr)
                self.assertIn("no installer was written", result.stderr)
                self.assertFalse((out / "One.exe").exists())
                self.assertEqual([p.name for p in out.parent.glob(".One.exe.*")], [])

    def test_an_earlier_installer_stays_until_the_new_one_is_whole(self):
        out = self.work / "out"
        out.mkdir()
        (out / "TazelDeck.exe").write_bytes(b"the one before")
        (out / "TazelDeck.exe").chmod(0o444)
        out.chmod(0o555)  # the new one cannot be written beside it (root ignores this, see below)
        try:
            result = self.pack(REPO / "resources" / "TazelDeck.package", "--sources", ART, "--out", out)
        finally:
            out.chmod(0o755)
        if os.geteuid() == 0:
            self.assertEqual(result.returncode, 0, result.stderr)  # root writes anyway: whole
            self.assertEqual((out / "TazelDeck.exe").read_bytes(), PRODUCT.read_bytes())
        else:
            self.assertEqual(result.returncode, 1)
            self.assertIn("cannot write into", result.stderr)
            self.assertEqual((out / "TazelDeck.exe").read_bytes(), b"the one before")
        self.assertEqual(sorted(os.listdir(out)), ["TazelDeck.exe"])

    def test_a_compressed_package_is_the_build_stub_with_the_decoder_and_its_files_as_lzma(self):
        out = self.work / "out"
        result = self.pack(REPO / "tests" / "packages" / "CompressedDeck.package", "--sources", ART, "--out", out)
        self.assertEqual(result.returncode, 0, result.stderr)
        made = (out / "TazelDeck.exe").read_bytes()
        self.assertEqual(made, COMPRESSED.read_bytes())
        self.assertLess(len(made), PRODUCT.stat().st_size * 0.36)

        image = pefile.PE(data=made)
        entries = resources(image)
        self.assertNotIn("CUSTOM", {kind for kind, _name, _language in entries})
        for i, name in enumerate(DECK):
            stored = entries[("LZMA", 101 + i, 1033)]
            self.assertEqual(decode_entry(stored), (ART / name).read_bytes(), name)
            # The JPEG, which LZMA hardly shrinks, is stored as it is; the bitmaps are compressed.
            self.assertEqual(stored[8], 0 if name.endswith(".dek") else 1, name)
        # The product's code but for the decoder: the image's code is the decoding stub's.
        stub = pefile.PE(str(LZMA_STUB))
        self.assertEqual(image.sections[0].get_data(), stub.sections[0].get_data())
        self.assertTrue(image.verify_checksum())

    def test_a_publishers_package_carries_its_own_identity_and_its_icons_bit_counts(self):
        # The publisher's icon with its entries' bit counts left 0, and a PNG of 24 bits besides:
        # the group takes each image's own, by which Windows chooses among images of one size.
        icon = (REPO / "tests" / "packages" / "publisher" / "Icon.ico").read_bytes()
        count = struct.unpack_from("<H", icon, 4)[0]
        images = []
        for i in range(count):
            width, height, colours, _, planes, _, size, offset = struct.unpack_from("<BBBBHHII", icon, 6 + 16 * i)
            images.append(((width, height, colours, planes), icon[offset:offset + size]))
        images.append(((64, 64, 0, 1), png(64, 64)))
        entries, data, at = b"", b"", 6 + 16 * len(images)
        for (width, height, colours, planes), image in images:
            entries += struct.pack("<BBBBHHII", width, height, colours, 0, planes, 0, len(image), at + len(data))
            data += image
        (self.work / "Icon.ico").write_bytes(struct.pack("<HHH", 0, 1, len(images)) + entries + data)
        shutil.copy(REPO / "tests" / "packages" / "publisher" / "Planet.cbx", self.work)
        name = 'Planet & <Card> "Back"'
        (self.work / "Planet.package").write_text(f"installer-name = PlanetBack\ndisplay-name = {name}\n"
                                                  "version = 3.1.0.27\nicon = Icon.ico\n\n[files]\n"
                                                  "Planet.cbx = Planet.cbx\n", encoding="utf-8")
        result = self.pack(self.work / "Planet.package", "--out", self.work / "out")
        self.assertEqual(result.returncode, 0, result.stderr)
        carried = resources(pefile.PE(str(self.work / "out" / "PlanetBack.exe")))

        group = carried[(14, 1, 0)]
        self.assertEqual([struct.unpack_from("<H", group, 6 + 14 * i + 6)[0] for i in range(len(images))],
                         [32, 32, 32, 24])

        # The product's manifest but for the version and the description, which XML reads back.
        manifest = carried[(24, 1, 0)].decode("utf-8")
        root = ElementTree.fromstring(manifest)
        asm = "{urn:schemas-microsoft-com:asm.v1}"
        self.assertEqual(root.find(asm + "assemblyIdentity").get("version"), "3.1.0.27")
        self.assertEqual(root.find(asm + "description").text, name + " installer for Ombrix")
        product = (REPO / "resources" / "TazelDeck.manifest").read_text(encoding="utf-8")
        self.assertEqual(manifest.replace('version="3.1.0.27"', 'version="2.0.0.4"', 1).replace(
            "Planet &amp; &lt;Card&gt; &quot;Back&quot;", "Tazel Deck"), product)


if __name__ == "__main__":
    unittest.main()
