"""The package maker as a publisher meets it: the Linux tazelpack makes the build's product byte for
byte, runs without the project's packages, and refuses bad stubs, bad sources and unwritable output
folders with a clear message and nothing written. The product it makes carries every resource the
resource compiler gave the product before, read by an independent reader, and only its package
record besides."""

import hashlib
import os
import pathlib
import re
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
WINDOWS_PACKER = BUILD / "win-i686" / "TazelPack.exe"
BUILD_PACKER = BUILD / "native" / "packer" / "tazelpack-build"
PRODUCT = BUILD / "win-i686" / "TazelDeck.exe"
STUB = BUILD / "win-i686" / "TazelStub.exe"
LZMA_STUB = BUILD / "win-i686" / "TazelStubLzma.exe"
COMPRESSED = BUILD / "win-i686" / "tests" / "packages" / "TestCompressedDeck.exe"
DECK = ["Tazel.dek"] + [f"Tazel{i}.cbx" for i in range(7)]
# A PE image that is no installer: one of Wine's own 32-bit DLLs, with resources of its own.
SYSTEM_DLL = pathlib.Path("/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll")


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


def resource_offset(data, kind, name):
    """Where the bytes of resource `kind` `name` lie in the file, and their size."""
    image = pefile.PE(data=bytes(data))
    for entry in image.DIRECTORY_ENTRY_RESOURCE.entries:
        if str(entry.name or entry.id) == kind:
            for named in entry.directory.entries:
                if named.id == name:
                    data_entry = named.directory.entries[0].data.struct
                    return image.get_offset_from_rva(data_entry.OffsetToData), data_entry.Size
    raise KeyError(f"{kind} {name}")


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

    def test_help_names_every_key_the_reader_knows(self):
        # The reader's own list, from its refusal of a key it does not know; the publisher's guide
        # in docs/ has to keep up with it as well.
        odd = self.work / "odd.package"
        odd.write_text("colour = red\n")
        refused = self.pack("--check", odd)
        keys = re.split(r", | and ", re.search(r"the keys are (.+?), and the files go under", refused.stderr).group(1))
        self.assertIn("installer-name", keys)
        told = self.pack("--help")
        self.assertEqual(told.returncode, 0, told.stderr)
        guide = (REPO / "docs" / "publishing.md").read_text()
        for key in keys:
            self.assertRegex(told.stdout, rf"(?m)^  {re.escape(key)}  ", key)
            self.assertIn(f"`{key}`", guide, key)

    def test_version_is_the_one_in_the_windows_packers_version_block(self):
        result = self.pack("--version")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertRegex(result.stdout, r"^tazelpack \d+(\.\d+){0,3}\n$")
        version = result.stdout.split()[1]
        image = pefile.PE(str(WINDOWS_PACKER))
        strings = {key.decode(): value.decode() for info in image.FileInfo[0] if info.Key == b"StringFileInfo"
                   for table in info.StringTable for key, value in table.entries.items()}
        self.assertEqual((strings["FileVersion"], strings["ProductVersion"]), (version, version))
        fixed = image.VS_FIXEDFILEINFO[0]
        numbers = [int(n) for n in version.split(".")]
        numbers += [0] * (4 - len(numbers))
        for high, low in ((fixed.FileVersionMS, fixed.FileVersionLS), (fixed.ProductVersionMS, fixed.ProductVersionLS)):
            self.assertEqual([high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF], numbers)

    def test_a_starter_description_with_its_files_in_place_checks_good(self):
        for kind in ("deck", "face"):
            with self.subTest(kind):
                starter = self.pack("--new", kind)
                self.assertEqual(starter.returncode, 0, starter.stderr)
                folder = self.work / kind
                folder.mkdir()
                (folder / "my.package").write_text(starter.stdout)
                files = [line for line in starter.stdout.split("\n[files]\n", 1)[1].splitlines()
                         if line and not line.startswith("#")]
                for line in files:
                    (folder / line.split("=", 1)[1].strip()).write_bytes(b"stand-in")
                listed = sorted(os.listdir(folder))
                result = self.pack("--check", folder / "my.package")
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertRegex(result.stdout, rf"^\S+\.exe: a {kind} package: ")
                self.assertEqual(sorted(os.listdir(folder)), listed)

    def test_check_tells_good_from_bad_and_writes_nothing(self):
        bad = self.work / "bad.package"
        bad.write_text((REPO / "resources" / "TazelDeck.package").read_text().replace("Tazel3.cbx = ", "CON.cbx = "))
        # Five sources each below the bound for one, the installer above the bound for all: known
        # only when the installer is made.
        large = self.work / "large"
        large.mkdir()
        names = ["Largefac"] + [f"Large{i}.cbx" for i in range(4)]
        (large / "large.package").write_text("installer-name = Large\ndisplay-name = Large\n[files]\n" +
                                             "".join(f"{name} = {name}\n" for name in names))
        for name in names:
            with open(large / name, "wb") as f:
                f.truncate(300 << 20)  # sparse
        cases = [
            ("good", [REPO / "resources" / "TazelDeck.package", "--sources", ART], 0, "TazelDeck.exe: a deck package", ""),
            ("bad line", [bad, "--sources", ART], 1, "", f"{bad}:11: the file name 'CON.cbx' is the device CON"),
            ("too large in all", [large / "large.package"], 1, "", "more than the 1 GiB"),
        ]
        for label, args, status, out, err in cases:
            with self.subTest(label):
                cwd = self.work / f"cwd {label}"
                cwd.mkdir()
                result = subprocess.run([str(PACKER), "--check", *map(str, args)], cwd=cwd, capture_output=True,
                                        text=True, timeout=60)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertTrue(result.stdout.startswith(out) and (out or not result.stdout), result.stdout)
                self.assertIn(err, result.stderr)
                self.assertEqual(os.listdir(cwd), [])
        self.assertEqual(sorted(os.listdir(large)), sorted(names + ["large.package"]))

    def test_misused_options_are_refused_and_write_nothing(self):
        out = self.work / "out"
        for args, message in ((["--check", REPO / "resources" / "TazelDeck.package", "--out", out], "--out has no place"),
                              (["--new", "deck", out / "my.package"], "standard output"),
                              (["--new", "card"], "--new takes deck or face, not 'card'")):
            with self.subTest(args[0] + " " + str(args[1])):
                result = self.pack(*args)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, "")
                self.assertIn(message, result.stderr)
                self.assertFalse(out.exists())

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

    def inspect(self, path):
        return subprocess.run([str(PACKER), "--inspect", str(path)], capture_output=True, text=True, timeout=60)

    def test_inspection_tells_what_the_product_and_the_compressed_deck_carry(self):
        art = {name: (ART / name).read_bytes() for name in DECK}
        for installer, compressed in ((PRODUCT, "no"), (COMPRESSED, "yes (LZMA)")):
            with self.subTest(installer.name):
                result = self.inspect(installer)
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                fields = dict(re.findall(r"^  (\w[\w ]*\w)  +(.*)$", result.stdout, re.M))
                self.assertEqual(fields, {"installer name": "TazelDeck", "display name": "Tazel Deck",
                                          "kind": "deck: the installer writes eight files",
                                          "version": "2.00.0004 (2.0.0.4)", "company": "Tazel Deck Project",
                                          "copyright": "none", "compressed": compressed, "files": "8"})
                # The installed files' sizes and digests, the compressed deck's decoded.
                files = re.findall(r"^    (\S+) +(\d+) bytes  sha256 ([0-9a-f]{64})", result.stdout, re.M)
                self.assertEqual(files, [(name, str(len(art[name])), hashlib.sha256(art[name]).hexdigest())
                                         for name in DECK])
                self.assertEqual(len(re.findall(r"  stored in \d+ bytes", result.stdout)), 8 if installer == COMPRESSED else 0)
                self.assertTrue(result.stdout.endswith("  intact: the package record and its 8 payload entries "
                                                       "match their digests\n"), result.stdout)

    def test_inspection_finds_damage_and_refuses_what_is_no_installer(self):
        product = PRODUCT.read_bytes()
        entry, size = resource_offset(product, "CUSTOM", 104)
        record, _ = resource_offset(product, "PACKAGE", 1)
        def flipped(at):
            data = bytearray(product)
            data[at] ^= 0x01
            return bytes(data)
        damaged = [
            ("payload byte", flipped(entry + size // 2),
             "damaged: the payload entry of Tazel2.cbx (CUSTOM 104) does not match its digest in the package record"),
            ("cut short", product[:len(product) - 4096], "damaged: it is cut short"),
            ("record", flipped(record + 30), "damaged: its package record does not match its own digest"),
        ]
        for label, data, message in damaged:
            with self.subTest(label):
                copy = self.work / f"{label}.exe"
                copy.write_bytes(data)
                result = self.inspect(copy)
                self.assertEqual(result.returncode, 3, result.stdout + result.stderr)
                self.assertIn(message, result.stdout)
        notes = self.work / "notes.txt"
        notes.write_text("not an installer\n")
        refused = [(notes, "no MZ header"), (SYSTEM_DLL, "no package record"), (STUB, "no resources")]
        for path, message in refused:
            with self.subTest(path.name):
                result = self.inspect(path)
                self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
                self.assertEqual(result.stdout, "")
                self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
                self.assertIn(message, result.stderr)

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
