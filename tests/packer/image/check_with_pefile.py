"""The package maker's finished image read by an independent reader, pefile, which recomputes its
checksum too.

    python3 check_with_pefile.py SAMPLE_WRITER WORK_DIR SOURCE_DIR
"""

import os
import subprocess
import sys
import unittest

import pefile

SAMPLE_WRITER, WORK_DIR, SOURCE_DIR = sys.argv[1:4]


def resource_id(text):
    return int(text) if text.isdigit() else text.upper()


class FinishedImage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        os.makedirs(WORK_DIR, exist_ok=True)
        subprocess.run([SAMPLE_WRITER, WORK_DIR], check=True)
        with open(os.path.join(WORK_DIR, "image.exe"), "rb") as f:
            cls.data = f.read()
        cls.expected = {}
        with open(os.path.join(WORK_DIR, "resources.txt"), encoding="ascii") as f:
            for line in f:
                rtype, name, lang, file = line.rstrip("\n").split("\t")
                with open(os.path.join(WORK_DIR, file), "rb") as r:
                    cls.expected[(resource_id(rtype), resource_id(name), int(lang))] = r.read()
        cls.pe = pefile.PE(data=cls.data)

    def test_headers(self):
        # The header fields themselves are checked by tazel_packer_image_tests; here only that
        # another reader finds the section where the directory says and nothing amiss.
        rsrc = self.pe.sections[-1]
        directory = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY[2]
        self.assertEqual((rsrc.Name, directory.VirtualAddress), (b".rsrc\0\0\0", rsrc.VirtualAddress))
        self.assertIsNone(self.pe.get_overlay_data_start_offset())
        self.assertEqual(self.pe.get_warnings(), [])

    def test_checksum(self):
        stored = self.pe.OPTIONAL_HEADER.CheckSum
        # pefile checksums what it would write back, and writes a version string with characters
        # beyond the BMP back as escapes: a reader that has not parsed the resources sees the bytes.
        unparsed = pefile.PE(data=self.data, fast_load=True)
        self.assertEqual(stored, unparsed.generate_checksum())

    def test_every_resource(self):
        found = {}
        for rtype in self.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            for name in rtype.directory.entries:
                for lang in name.directory.entries:
                    key = tuple(str(e.name) if e.name is not None else e.id for e in (rtype, name, lang))
                    entry = lang.data.struct
                    found[key] = self.pe.get_data(entry.OffsetToData, entry.Size)
        self.assertEqual(sorted(found, key=repr), sorted(self.expected, key=repr))
        for key, data in self.expected.items():
            self.assertEqual(found[key], data, key)

    def test_version_strings(self):
        table = self.pe.FileInfo[0][0].StringTable[0]
        self.assertEqual(table.LangID, b"040904B0")
        # pefile spells a character beyond the BMP as the escapes of its surrogates; it reads
        # windres's TestDescribedFace.exe the same way.
        name = "T\u00e0zelF\u00e4ces"
        strings = {
            "CompanyName": "Tazel Deck Project",
            "FileDescription": 'T\u00e0zel "F\u00e4ces" \\ \u00dcn\u00efcode \\ud83c\\udca1 installer for Ombrix',
            "FileVersion": "2.00.0004",
            "InternalName": name,
            "OriginalFilename": name + ".exe",
            "ProductName": "Ombrix",
            "ProductVersion": "2.00.0004",
        }
        self.assertEqual(list(table.entries.items()), [(k.encode(), v.encode()) for k, v in strings.items()])
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS, fixed.FileOS, fixed.FileType),
                         (0x00020000, 0x00000004, 4, 1))
        self.assertEqual([v.entry for v in self.pe.FileInfo[0][1].Var], [{b"Translation": "0x0409 0x04b0"}])

if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
