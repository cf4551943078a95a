"""The package description checks: each kind of bad input stops with its line and its message."""

import os
import pathlib
import subprocess
import sys
import tempfile
import unittest

REPO = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tools" / "package"))
import package_description  # noqa: E402

# A good face package; the rows below edit it by line number (None removes a line).
GOOD = """installer-name = TazelFaces
display-name = Tazel Faces
[files]
Tazelfac = a
Face0.cbx = b
Face1.cbx = c
Face2.cbx = d
Face3.cbx = e
"""
MORE = ["Face4.cbx = f", "Face5.cbx = g", "Face6.cbx = h", "Face7.cbx = i"]
DECK = {4: "Tazel.dek = a"}

# (what is wrong, edits, line of the problem or 0 for the whole file, what the message must say)
BAD = [
    ("folder part", {5: r"..\Face0.cbx = b"}, 5, r"'..\Face0.cbx' has a folder part ('\')"),
    ("sub-folder", {5: "graphics/x.cbx = b"}, 5, "'graphics/x.cbx' has a folder part ('/')"),
    ("the folder above", {5: ".. = b"}, 5, "'..' is a folder's name"),
    ("refused character", {5: "a:b.cbx = b"}, 5, "holds ':', which Windows refuses in file names"),
    ("control character", {5: '"Face\x01.cbx" = b'}, 5, "holds the control character U+0001"),
    ("device name", {5: "con .cbx = b"}, 5, "'con .cbx' is the device CON to Windows"),
    ("numbered device", {5: "LPT\u00b9.cbx = b"}, 5, "is the device LPT\u00b9 to Windows"),
    ("trailing dot", {5: "Face0.cbx. = b"}, 5, "'Face0.cbx.' ends in a dot, which Windows drops"),
    ("trailing space", {5: '"Face0.cbx " = b'}, 5, "'Face0.cbx ' ends in a space, which Windows drops"),
    # An astral character is two UTF-16 units: 120 of them are one too many.
    ("too long", {5: "\U0001F0A1" * 120 + " = b"}, 5,
     "is 240 UTF-16 units long; the installer writes names of at most 239: Windows holds 255 in a name "
     "and the temporary file written beside it adds up to 16"),
    ("same name but for case", {6: "FACE0.cbx = c"}, 6, "'FACE0.cbx' is the same file as 'Face0.cbx' on line 5"),
    ("empty name", {5: '"" = b'}, 5, "the file name is empty"),
    ("a temporary file's name", {6: "Face0.cbx.1f-0.tmp = c"}, 6,
     "'Face0.cbx.1f-0.tmp' is spelt as a temporary file the installer writes for 'Face0.cbx' on line 5"),
    ("deck of five", DECK, 4, "'Tazel.dek' ends in 'dek', which makes a deck package: the installer writes exactly "
                              "eight files, and 5 are listed"),
    ("face of eight", {9: "\n".join(MORE[:3])}, 4, "ends in 'fac', which makes a face package: the installer "
                                                   "writes exactly five files, and 8 are listed"),
    ("neither kind", {4: "Tazel.DEK = a"}, 4, "'Tazel.DEK' ends in 'DEK', which is neither 'dek' (a deck package of "
                                              "eight files) nor 'fac' (a face package of five): the installer then "
                                              "writes this one file only, and 5 are listed; the ending is compared "
                                              "case by case, so 'DEK' is not 'dek'"),
    ("nine files", {**DECK, 9: "\n".join(MORE)}, 12, "a ninth file: a package holds at most eight"),
    ("missing source", {5: "Face0.cbx = nothing"}, 5, "the source of Face0.cbx, 'nothing' ("),
    ("source is a folder", {5: "Face0.cbx = folder"}, 5, "is a folder, not a file"),
    ("empty source", {5: "Face0.cbx = empty"}, 5, "'empty' ("),
    ("no source", {5: "Face0.cbx ="}, 5, "Face0.cbx has no source after '='"),
    ("installer name not a plain name", {1: "installer-name = Tazel;Faces"}, 1,
     "the installer name 'Tazel;Faces' holds ';'; it becomes the file name Tazel;Faces.exe"),
    ("installer name a device", {1: "installer-name = aux"}, 1, "the installer name 'aux' is the device AUX"),
    ("empty display name", {2: "display-name ="}, 2, "the display name is empty"),
    ("control character in the display name", {2: "display-name = Tazel\tFaces"}, 2,
     "the display name holds the control character U+0009"),
    ("missing key", {1: None}, 0, "no installer-name line"),
    ("repeated key", {3: "display-name = Again\n[files]"}, 3, "display-name a second time (first on line 2)"),
    ("unknown key", {1: "installer = TazelFaces\ninstaller-name = TazelFaces"}, 1,
     "unknown key 'installer'; the keys are installer-name and display-name"),
    ("not a key line", {2: "display-name: Tazel Faces\ndisplay-name = Tazel Faces"}, 2, "expected 'key = value'"),
    ("not a file line", {5: "Face0.cbx b"}, 5, "expected '<file name> = <source>'"),
    ("unknown section", {3: "[file]\n[files]"}, 3, "unknown section '[file]'; the one section is [files]"),
    ("no files", {n: None for n in range(4, 9)}, 0, "no files: list them under [files]"),
    ("not UTF-8", {3: b"# F\xe4ces\n[files]"}, 3, "the line is not UTF-8 text"),
]


def edited(edits):
    lines = GOOD.encode().split(b"\n")
    for number, text in sorted(edits.items(), reverse=True):
        lines[number - 1:number] = [] if text is None else [text if isinstance(text, bytes) else text.encode()]
    return b"\n".join(lines)


class DescriptionChecksTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory(prefix="tazel-description-")
        cls.folder = pathlib.Path(cls.work.name)
        for name in "abcdefghi":
            (cls.folder / name).write_bytes(f"payload {name}\n".encode())
        (cls.folder / "empty").touch()
        (cls.folder / "folder").mkdir()

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def problems(self, data, name="test.package"):
        path = self.folder / name
        path.write_bytes(data)
        try:
            package_description.load(path)
        except package_description.BadDescription as bad:
            return bad.problems, bad.report()
        return [], ""

    def test_a_good_description_passes_whatever_its_display_name(self):
        text = GOOD.replace("Tazel Faces", 'T\u00e0zel "F\u00e4ces" \\ \u00dcn\u00efcode \U0001F0A1')
        for label, data in (("face", text.encode()), ("deck", edited({**DECK, 9: "\n".join(MORE[:3])})),
                            ("one file", edited({4: "Tazel.cbx = a", **{n: None for n in range(5, 9)}})),
                            ("longest name", edited({5: "x" * 239 + " = b"})),
                            ("quoted, comments, blanks, CRLF",
                             b"\xef\xbb\xbf# comment\r\n\r\n" + GOOD.replace("\n", "\r\n").replace(
                                 "Face0.cbx = b", '  # not a file\r\n"#0=.cbx" = b').encode())):
            with self.subTest(label):
                self.assertEqual(self.problems(data), ([], ""))

    def test_every_bad_input_names_its_line_and_its_problem(self):
        for label, edits, line, message in BAD:
            with self.subTest(label):
                problems, report = self.problems(edited(edits))
                self.assertEqual([p.line for p in problems], [line], report)
                self.assertIn(message, problems[0].text)
                self.assertTrue(report.startswith(f"{self.folder / 'test.package'}:{line}: " if line else
                                                  f"{self.folder / 'test.package'}: "), report)

    def test_the_package_script_stops_before_building_anything(self):
        build = self.folder / "build"
        path = self.folder / "bad.package"
        path.write_bytes(edited({5: "CON.cbx = b"}))
        result = subprocess.run(["bash", str(REPO / "scripts" / "package.sh"), str(path)], capture_output=True,
                                text=True, env=dict(os.environ, TAZEL_BUILD_DIR=str(build)), timeout=120)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn(f"{path}:5: the file name 'CON.cbx' is the device CON", result.stderr)
        self.assertFalse(build.exists(), "something was built")

    @unittest.skipIf(os.geteuid() == 0, "root reads a file whatever its permissions")
    def test_an_unreadable_source(self):
        unreadable = self.folder / "unreadable"
        unreadable.write_bytes(b"payload")
        unreadable.chmod(0)
        problems, report = self.problems(edited({5: "Face0.cbx = unreadable"}))
        self.assertEqual([(p.line, "cannot be read (Permission denied)" in p.text) for p in problems], [(5, True)],
                         report)


if __name__ == "__main__":
    unittest.main()
