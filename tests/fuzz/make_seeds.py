#!/usr/bin/env python3
"""Seeds for the fuzz targets, from the tests' own tables and the build's products, into
BUILD/fuzz/seeds/<target>/; `bash scripts/fuzz.sh --merge` then minimises them into the tree's
corpus (tests/fuzz/corpus/<target>/). Run after scripts/build.sh:

    python3 tests/fuzz/make_seeds.py [BUILD]     # BUILD: build/ by default

- description: every description the description tests read (their rows), framed with the files
  they name (tests/fuzz/Framing.h), and the test packages' descriptions with theirs;
- art: the icons and pictures among those files, the publisher's and the card art's;
- stub: the installer's stubs, their headers alone and with one page of code (a stub's code is
  tens of kB that no reader of it looks at);
- record: the package record of the product and of every test package;
- coded_entry: the compressed entries of a small deck the build's packer makes;
- image_reader: that deck, the publisher's package and the one with an entry missing, their
  headers and resources alone.

The resources target takes no file: its corpus is what a campaign found, minimised.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MARK = b"\n--- "
LARGEST = 64 * 1024


def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


def sections(data):
    """The section table: (header offset, name, size, RVA, raw size, raw offset) each, and the headers' size."""
    file_header = u32(data, 0x3C) + 4
    optional = file_header + 20
    table = optional + u16(data, file_header + 16)
    found = []
    for i in range(u16(data, file_header + 2)):
        at = table + 40 * i
        name = data[at:at + 8].rstrip(b"\0").decode()
        found.append((at, name, u32(data, at + 8), u32(data, at + 12), u32(data, at + 16), u32(data, at + 20)))
    return found, u32(data, optional + 60)


def slim(data, keep):
    """The image with only the raw data of the sections `keep` gives a size for (None: none), the
    rest of the section table saying no raw data: a reader sees the same headers and resources."""
    table, headers = sections(data)
    out, tail = bytearray(data[:headers]), bytearray()
    for at, name, size, _, _, raw_at in table:
        size = keep(name, size)
        if size:
            struct.pack_into("<II", out, at + 16, size, headers + len(tail))
            tail += data[raw_at:raw_at + size]
        else:
            struct.pack_into("<II", out, at + 16, 0, 0)
    return bytes(out + tail)


def resources(data):
    """Every resource of an image: {(type, name, language): bytes}, types and names as ids or text."""
    table, _ = sections(data)
    optional = u32(data, 0x3C) + 24
    rva = u32(data, optional + 96 + 16)

    def at_rva(address):
        for _, _, _, start, raw_size, raw_at in table:
            if start <= address < start + raw_size:
                return raw_at + address - start
        raise ValueError("an RVA in no section")

    root = at_rva(rva)

    def entries(offset):
        count = u16(data, root + offset + 12) + u16(data, root + offset + 14)
        for i in range(count):
            key, target = struct.unpack_from("<II", data, root + offset + 16 + 8 * i)
            if key & 0x80000000:
                name_at = root + (key & 0x7FFFFFFF)
                key = data[name_at + 2:name_at + 2 + 2 * u16(data, name_at)].decode("utf-16-le")
            yield key, target & 0x7FFFFFFF

    found = {}
    for kind, names in entries(0):
        for name, languages in entries(names):
            for language, leaf in entries(languages):
                address, size = struct.unpack_from("<II", data, root + leaf)
                found[(kind, name, language)] = data[at_rva(address):at_rva(address) + size]
    return found


def put(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def read(path):
    with open(path, "rb") as source:
        return source.read()


def framed(description, folder):
    """A description framed with the files of `folder` it names, as Framing.h's WriteSeed does."""
    out = description
    for line in description.split(b"\n"):
        source = line.partition(b"=")[2].strip()
        path = os.path.join(folder, source.decode(errors="replace"))
        if source and os.path.isfile(path) and os.path.getsize(path) <= LARGEST:
            out += MARK + source + b"\n" + read(path)
    return out


def bitmap(width, height):
    """A 24-bit bitmap file of soft gradients, as the card strips are."""
    row = (width * 3 + 3) // 4 * 4
    pixels = bytearray(row * height)
    for y in range(height):
        for x in range(width):
            pixels[y * row + 3 * x:y * row + 3 * x + 3] = bytes(((x + y) & 0xFF, (2 * x) & 0xFF, (3 * y) & 0xFF))
    header = b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + bytes(pixels)


def small_deck(build, work):
    """A compressed deck of small files made by the build's packer: bitmaps filtered and in one or
    two chunks, a JPEG stored as it is, text."""
    art = os.path.join(ROOT, "tests", "packages", "publisher")
    sources = {
        "Tazel.dek": bitmap(320, 280),  # past 256 kB: two chunks
        "Tazel0.cbx": bitmap(40, 30),
        "Tazel1.cbx": read(os.path.join(art, "Window.jpg")),
        "Tazel2.cbx": b"Tazel2.cbx payload entry\n" * 40,
        "Tazel3.cbx": read(os.path.join(art, "Planet.cbx")),
        "Tazel4.cbx": bitmap(7, 5),
        "Tazel5.cbx": bytes(range(256)),
        "Tazel6.cbx": b"\0" * 3000,
    }
    lines = [b"installer-name = SmallDeck", b"display-name = Small Deck", b"compression = lzma", b"[files]"]
    for name, data in sources.items():
        put(work, name, data)
        lines.append(f"{name} = {name}".encode())
    put(work, "small.package", b"\n".join(lines) + b"\n")
    subprocess.run([os.path.join(build, "native", "packer", "tazelpack-build"),
                    "--stub", os.path.join(build, "win-i686", "TazelStub.exe"),
                    "--lzma-stub", os.path.join(build, "win-i686", "TazelStubLzma.exe"),
                    "--out", work, "--output-name", "SmallDeck", os.path.join(work, "small.package")], check=True)
    return read(os.path.join(work, "SmallDeck.exe"))


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
    seeds = os.path.join(build, "fuzz", "seeds")
    shutil.rmtree(seeds, ignore_errors=True)
    windows = os.path.join(build, "win-i686")

    # The description tests' rows, written by the tests themselves (Framing.h's WriteSeed).
    rows = os.path.join(seeds, "description")
    os.makedirs(rows)
    subprocess.run([os.path.join(build, "native", "tests", "packer", "tazel_packer_tests"),
                    "--gtest_filter=DescriptionTest.*", "--gtest_brief=1"],
                   env=dict(os.environ, TAZEL_FUZZ_SEEDS=rows), check=True, stdout=subprocess.DEVNULL)
    packages = os.path.join(ROOT, "tests", "packages")
    for name in sorted(os.listdir(packages)) + ["../../resources/TazelDeck.package"]:
        if name.endswith(".package"):
            put(rows, "package-" + os.path.basename(name), framed(read(os.path.join(packages, name)), packages))

    # Every icon and picture those rows carry, and the publisher's and the card art's.
    art = os.path.join(seeds, "art")
    for row in sorted(os.listdir(rows)):
        for part in read(os.path.join(rows, row)).split(MARK)[1:]:
            name, _, data = part.partition(b"\n")
            if name.endswith((b".ico", b".jpg", b".png", b".gif")):
                put(art, os.path.basename(name.decode()), data)
    for folder in [os.path.join(packages, "publisher"), os.path.join(build, "native", "tools", "art", "out")]:
        for name in ["Icon.ico", "Window.jpg", "Tazel.ico"]:
            if os.path.isfile(os.path.join(folder, name)):
                put(art, os.path.basename(folder) + "-" + name, read(os.path.join(folder, name)))

    for stub in ["TazelStub", "TazelStubLzma"]:
        data = read(os.path.join(windows, stub + ".exe"))
        put(os.path.join(seeds, "stub"), stub + "-headers", slim(data, lambda name, size: None))
        code = slim(data, lambda name, _: 0x1000 if name == ".text" else None)
        put(os.path.join(seeds, "stub"), stub + "-code", code)

    installers = {"TazelDeck": os.path.join(windows, "TazelDeck.exe")}
    folder = os.path.join(windows, "tests", "packages")
    for name in sorted(os.listdir(folder)):
        if name.startswith("Test") and name.endswith(".exe") and not name.endswith("Stub.exe"):
            installers[name[:-4]] = os.path.join(folder, name)
    with tempfile.TemporaryDirectory() as work:
        installers["SmallDeck"] = os.path.join(work, "SmallDeck.exe")
        small = small_deck(build, work)
        for name, data in resources(small).items():
            if name[0] == "LZMA":
                put(os.path.join(seeds, "coded_entry"), f"SmallDeck-{name[1]}", data)
        for name, path in installers.items():
            data = small if name == "SmallDeck" else read(path)
            put(os.path.join(seeds, "record"), name, resources(data)[("PACKAGE", 1, 0)])
            if name in ("SmallDeck", "TestPublisher", "TestMissing3"):
                image = slim(data, lambda section, size: size if section == ".rsrc" else None)
                put(os.path.join(seeds, "image_reader"), name, image)
    for target in sorted(os.listdir(seeds)):
        files = os.listdir(os.path.join(seeds, target))
        size = sum(os.path.getsize(os.path.join(seeds, target, name)) for name in files)
        print(f"{target}: {len(files)} seeds, {size // 1024} kB in {os.path.join(seeds, target)}")


if __name__ == "__main__":
    main()
