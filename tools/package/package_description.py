"""Package descriptions: reads one, checks it, and writes the installer's generated sources from it.

A description is a UTF-8 text file that a publisher writes by hand (docs/package-description.md):

    # Tazel Faces for Ombrix
    installer-name = TazelFaces
    display-name = Tazel Faces

    [files]
    Tazelfac = art/Tazelfac
    Face0.cbx = art/Face0.cbx

Every problem is found before anything is written, and each is reported with its line. The texts
that reach the generated C++ and resource sources are escaped for them, so any display name comes
out in the installer exactly as written.

    package_description.py check DESCRIPTION [--sources FOLDER]
        Checks; prints the installer name and the display name on standard output, a line each, and
        a summary or the problems on standard error; status 1 for a bad description.
    package_description.py generate DESCRIPTION [--sources FOLDER] --art FOLDER --resources FOLDER --out FOLDER
        Checks, then writes Manifest.cpp, Package.rc and Package.cmake into --out.
    package_description.py generate --unchecked --installer-name NAME --display-name NAME
                                    --file NAME=SOURCE ... --art ... --resources ... --out ...
        For test packages that exercise the installer's failure paths: escapes, checks nothing.

Sources are relative to the description's folder, or to --sources when the build names another
(the product's card art is drawn by the build).
"""

import argparse
import dataclasses
import os
import pathlib
import re
import stat
import sys
import unicodedata

REPO = pathlib.Path(__file__).resolve().parents[2]
TEMPLATES = REPO / "cmake"

# The kind rule of core/PackageManifest.cpp: the first name's last three characters, compared
# case-sensitively, tell how many entries the installer writes; any other ending writes one.
KINDS = {"dek": ("deck", 8), "fac": ("face", 5)}
MOST_FILES = 8  # kFileCount
NUMBER_WORDS = {1: "one", 5: "five", 8: "eight"}

# Windows refuses these in a file name, besides the control characters.
REFUSED_CHARACTERS = '<>:"/\\|?*'
DEVICE_NAMES = ({"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"} |
                {f"{port}{n}" for port in ("COM", "LPT") for n in "0123456789\u00b9\u00b2\u00b3"})
# An installer name becomes "<name>.exe" and passes through the build's file names and commands:
# letters, digits and a few plain signs only.
INSTALLER_NAME_SIGNS = " -_.()"

KEYS = ("installer-name", "display-name")
FILES_SECTION = "[files]"


def name_limits(header=REPO / "core" / "TemporaryFiles.h"):
    """(longest file name, Windows' longest name, longest temporary suffix), from the installer's
    own header: a file name has to leave room for the suffix of the temporary file written beside it."""
    text = header.read_text(encoding="utf-8")
    values = {}
    for constant in ("kLongestNameComponent", "kLongestTemporarySuffix"):
        match = re.search(rf"\b{constant}\s*=\s*(\d+)\s*;", text)
        if not match:
            raise RuntimeError(f"{header} no longer states {constant}")
        values[constant] = int(match.group(1))
    component, suffix = values["kLongestNameComponent"], values["kLongestTemporarySuffix"]
    return component - suffix, component, suffix


@dataclasses.dataclass
class FileEntry:
    name: str
    source: str
    line: int = 0


@dataclasses.dataclass
class Description:
    path: pathlib.Path = None
    installer_name: str = None
    display_name: str = None
    files: list = dataclasses.field(default_factory=list)
    unreadable_files: int = 0  # file lines not of the form; the count is not known then
    lines: dict = dataclasses.field(default_factory=dict)  # key -> line


@dataclasses.dataclass(order=True)
class Problem:
    line: int  # 0: the description as a whole
    text: str


class BadDescription(Exception):
    def __init__(self, path, problems):
        self.path = path
        self.problems = sorted(problems)
        super().__init__(self.report())

    def report(self):
        where = str(self.path) if self.path else "description"
        return "\n".join(f"{where}:{p.line}: {p.text}" if p.line else f"{where}: {p.text}" for p in self.problems)


def shown(text, longest=40, quote="'"):
    """A text as a message quotes it: as written (a backslash stays one), control characters by
    their code, a long one by its start."""
    visible = "".join(f"<U+{ord(c):04X}>" if unicodedata.category(c) == "Cc" else c for c in text[:longest])
    return f"{quote}{visible}{quote}" + ("..." if len(text) > longest else "")


def utf16_length(text):
    return len(text.encode("utf-16-le")) // 2


# Reading ----------------------------------------------------------------------------------------

def parse(data, path=None):
    """A Description from the file's bytes, and the problems of its form."""
    description = Description(path=path)
    problems = []
    section = "head"
    file_lines = 0
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    for number, raw in enumerate(data.split(b"\n"), start=1):
        try:
            line = raw.decode("utf-8").removesuffix("\r")
        except UnicodeDecodeError:
            problems.append(Problem(number, "the line is not UTF-8 text; save the description as UTF-8"))
            continue
        text = line.strip(" \t")
        if not text or text.startswith("#"):
            continue
        if text.startswith("["):
            if text != FILES_SECTION:
                # Its lines are passed over: they would only repeat the one mistake.
                problems.append(Problem(number, f"unknown section {shown(text)}; the one section is {FILES_SECTION}"))
            elif section == "files":
                problems.append(Problem(number, f"{FILES_SECTION} a second time"))
            section = "files" if text == FILES_SECTION else "unknown"
            continue
        if section == "unknown":
            continue
        if section == "files":
            file_lines += 1
            entry = parse_file_line(text, number, problems)
            if entry:
                description.files.append(entry)
            else:
                description.unreadable_files += 1
            continue
        key, equals, value = text.partition("=")
        key = key.strip(" \t")
        if not equals:
            problems.append(Problem(number, f"expected 'key = value' or {FILES_SECTION}, found {shown(text)}"))
        elif key not in KEYS:
            problems.append(Problem(number, f"unknown key {shown(key)}; the keys are {' and '.join(KEYS)}, "
                                            f"and the files go under {FILES_SECTION}"))
        elif key in description.lines:
            problems.append(Problem(number, f"{key} a second time (first on line {description.lines[key]})"))
        else:
            description.lines[key] = number
            setattr(description, key.replace("-", "_"), value.strip(" \t"))
    for key in KEYS:
        if key not in description.lines:
            problems.append(Problem(0, f"no {key} line ('{key} = ...' before {FILES_SECTION})"))
    if not file_lines:
        problems.append(Problem(0, f"no files: list them under {FILES_SECTION}, one 'name = source' a line"))
    return description, problems


def parse_file_line(text, number, problems):
    """'<name> = <source>'; a name in double quotes keeps spaces at its ends and may hold '=' or
    begin with '#' (Windows refuses '"' in names, so the quotes cannot be part of one)."""
    if text.startswith('"'):
        name, closing, rest = text[1:].partition('"')
        if not closing:
            problems.append(Problem(number, "the quoted file name has no closing quote"))
            return None
        rest = rest.lstrip(" \t")
        if not rest.startswith("="):
            problems.append(Problem(number, "expected '=' and the source after the quoted file name"))
            return None
        source = rest[1:]
    else:
        name, equals, source = text.partition("=")
        if not equals:
            problems.append(Problem(number, f"expected '<file name> = <source>', found {shown(text)}"))
            return None
        name = name.strip(" \t")
    return FileEntry(name, source.strip(" \t"), number)


# Checking ---------------------------------------------------------------------------------------

def windows_name_problem(name, what):
    """Why Windows cannot hold `name` as a file name, or None."""
    if name in (".", ".."):
        return f"{what} {shown(name)} is a folder's name, not a file's"
    folder_part = next((c for c in name if c in "\\/"), None)
    if folder_part:
        return (f"{what} {shown(name)} has a folder part ({shown(folder_part)}); the installer writes every "
                f"file into the one destination folder, so give the bare file name")
    refused = next((c for c in name if c in REFUSED_CHARACTERS or ord(c) < 0x20), None)
    if refused:
        character = shown(refused) if ord(refused) >= 0x20 else f"the control character U+{ord(refused):04X}"
        return (f"{what} {shown(name)} holds {character}, which Windows refuses in file names "
                f"(< > : \" / \\ | ? * and control characters)")
    if name.endswith((".", " ")):
        end = "dot" if name.endswith(".") else "space"
        return f"{what} {shown(name)} ends in a {end}, which Windows drops from file names"
    device = name.split(".", 1)[0].rstrip(" ").upper()
    if device in DEVICE_NAMES:
        return f"{what} {shown(name)} is the device {device} to Windows, which refuses it as a file name"
    return None


def windows_equal(name):
    """The name as Windows compares names: one character at a time, case ignored."""
    return "".join(c.upper() if len(c.upper()) == 1 else c for c in name)


def text_problem(value, what):
    if not value:
        return f"the {what} is empty"
    control = next((c for c in value if unicodedata.category(c) == "Cc"), None)
    if control:
        return f"the {what} holds the control character U+{ord(control):04X}"
    return None


def installer_name_problem(name):
    problem = text_problem(name, "installer name")
    if problem:
        return problem
    odd = next((c for c in name if not c.isalnum() and c not in INSTALLER_NAME_SIGNS), None)
    if odd:
        return (f"the installer name {shown(name)} holds {shown(odd)}; it becomes the file name {name}.exe "
                f"and may hold letters, digits, spaces and - _ . ( )")
    problem = windows_name_problem(name, "the installer name")
    component = name_limits()[1]
    if not problem and utf16_length(name + ".exe") > component:
        problem = f"the installer name is longer than the {component - 4} characters its .exe file name can take"
    return problem


def file_name_problem(entry, earlier):
    """`earlier`: the entries before it, by the name Windows compares."""
    if not entry.name:
        return "the file name is empty"
    problem = windows_name_problem(entry.name, "the file name")
    if problem:
        return problem
    longest, component, suffix = name_limits()
    length = utf16_length(entry.name)
    if length > longest:
        return (f"the file name {shown(entry.name)} is {length} UTF-16 units long; the installer writes names "
                f"of at most {longest}: Windows holds {component} in a name and the temporary file written "
                f"beside it adds up to {suffix}")
    twin = earlier.setdefault(windows_equal(entry.name), entry)
    if twin is not entry:
        return (f"the file name {shown(entry.name)} is the same file as {shown(twin.name)} on line {twin.line}: "
                f"Windows ignores case in file names")
    return None


def kind_problem(first, count):
    ending = first[-3:]
    listed = f"{count} {'is' if count == 1 else 'are'} listed"
    if ending in KINDS:
        kind, wanted = KINDS[ending]
        if count == wanted:
            return None
        return (f"the first file {shown(first)} ends in {shown(ending)}, which makes a {kind} package: the "
                f"installer writes exactly {NUMBER_WORDS[wanted]} files, and {listed}")
    if count == 1:
        return None
    near = next((k for k in KINDS if k == ending.lower()), None)
    return (f"the first file {shown(first)} ends in {shown(ending)}, which is neither 'dek' (a deck package of "
            f"eight files) nor 'fac' (a face package of five): the installer then writes this one file only, "
            f"and {listed}" + (f"; the ending is compared case by case, so {shown(ending)} is not {shown(near)}"
                                if near else ""))


def check(description, sources):
    """The problems of a description's content; `sources` is the folder its sources are relative to."""
    problems = []

    def add(line, problem):
        if problem:
            problems.append(Problem(line, problem))

    if description.installer_name is not None:
        add(description.lines["installer-name"], installer_name_problem(description.installer_name))
    if description.display_name is not None:
        add(description.lines["display-name"], text_problem(description.display_name, "display name"))
    earlier = {}
    for index, entry in enumerate(description.files):
        if index == MOST_FILES:
            add(entry.line, f"a ninth file: a package holds at most {NUMBER_WORDS[MOST_FILES]}")
        add(entry.line, file_name_problem(entry, earlier))
        add(entry.line, source_problem(entry, sources))
    for entry in description.files:
        add(entry.line, leftover_problem(entry, description.files))
    # The count is judged only when every file line could be read.
    files = description.files
    if files and files[0].name and len(files) <= MOST_FILES and not description.unreadable_files:
        add(files[0].line, kind_problem(files[0].name, len(files)))
    return problems


def leftover_problem(entry, files):
    """A name spelt as the installer spells a temporary file of another file of the package
    ("<target>.<process id in hex>-<attempt>.tmp"): a later run would remove it as the leftover of
    an interrupted one."""
    for target in files:
        if target is entry or not target.name:
            continue
        if re.fullmatch(re.escape(target.name) + r"\.[1-9a-f][0-9a-f]{0,7}-(?:[0-9]|1[0-6])\.tmp", entry.name or ""):
            return (f"the file name {shown(entry.name)} is spelt as a temporary file the installer writes for "
                    f"{shown(target.name)} on line {target.line}: a later run would remove it as the leftover of "
                    f"an interrupted one")
    return None


def source_problem(entry, sources):
    if not entry.source:
        return f"{shown(entry.name, quote='') if entry.name else 'the file'} has no source after '='"
    path = pathlib.Path(sources, entry.source)
    what = f"the source of {shown(entry.name, quote='') if entry.name else 'the file'}, {shown(entry.source)} ({path})"
    try:
        info = os.stat(path)
    except FileNotFoundError:
        return f"{what} does not exist"
    except OSError as error:
        return f"{what} cannot be read ({error.strerror})"
    if stat.S_ISDIR(info.st_mode):
        return f"{what} is a folder, not a file"
    if not stat.S_ISREG(info.st_mode):
        return f"{what} is not a regular file"
    try:
        with open(path, "rb") as f:
            f.read(1)
    except OSError as error:
        return f"{what} cannot be read ({error.strerror})"
    if info.st_size == 0:
        return f"{what} is empty"
    return None


def load(path, sources=None):
    """Reads and checks a description; raises BadDescription with every problem found."""
    path = pathlib.Path(path)
    try:
        data = path.read_bytes()
    except OSError as error:
        raise BadDescription(path, [Problem(0, f"cannot be read ({error.strerror})")])
    description, problems = parse(data, path)
    problems += check(description, sources if sources is not None else path.parent)
    if problems:
        raise BadDescription(path, problems)
    return description


def summary(description):
    """What the package installs and what the player reads, for the publisher."""
    names = [e.name for e in description.files]
    kind = KINDS.get(names[0][-3:], ("one-file",))[0]
    return (f"{description.installer_name}.exe: a {kind} package: {', '.join(names)}\n"
            f"  the window's bottom line: {description.display_name} Installation\n"
            f"  the box at the end:       {description.display_name} Installed!")


# Writing ----------------------------------------------------------------------------------------

def cxx_text(text):
    """The inside of a C++ wide string literal: printable ASCII as it is, everything else by its code."""
    out = []
    for c in text:
        code = ord(c)
        if c in '\\"':
            out.append("\\" + c)
        elif 0x20 <= code < 0x7F:
            out.append(c)
        elif code <= 0xFFFF:
            out.append(f"\\u{code:04X}")
        else:
            out.append(f"\\U{code:08X}")  # two UTF-16 units in the installer's wchar_t
    return "".join(out)


def rc_text(text):
    """The inside of a resource compiler string: windres reads '\\' as an escape and '""' as a quote;
    the rest goes as UTF-8 (it runs with --codepage=65001)."""
    return text.replace("\\", "\\\\").replace('"', '""')


def fill(template, values):
    def value(match):
        if match.group(1) not in values:
            raise KeyError(f"{template.name} asks for @{match.group(1)}@, which the generator does not know")
        return values[match.group(1)]
    return re.sub(r"@(\w+)@", value, template.read_text(encoding="utf-8"))


def render(description, sources, art, resources):
    """{file name: text} of the generated sources."""
    names = [cxx_text(e.name) for e in description.files] + [""] * (MOST_FILES - len(description.files))
    entries = "".join(f'{101 + i} CUSTOM "{rc_text(os.path.join(sources, e.source))}"\n'
                      for i, e in enumerate(description.files) if e.source)
    payload = [os.path.join(sources, e.source) for e in description.files if e.source]
    return {
        "Manifest.cpp": fill(TEMPLATES / "Manifest.cpp.in", {
            "TAZEL_INSTALLER_NAME": cxx_text(description.installer_name),
            "TAZEL_DISPLAY_NAME": cxx_text(description.display_name),
            "TAZEL_FILE_NAMES": "".join(f'        L"{name}",\n' for name in names),
        }),
        "Package.rc": fill(TEMPLATES / "Package.rc.in", {
            "TAZEL_INSTALLER_NAME": rc_text(description.installer_name),
            "TAZEL_DISPLAY_NAME": rc_text(description.display_name),
            "TAZEL_PAYLOAD_ENTRIES": entries,
            "TAZEL_ART_DIR": rc_text(str(art)),
            "TAZEL_RESOURCES_DIR": rc_text(str(resources)),
        }),
        # What the build needs back: the executable's name and the files the resources are made of.
        "Package.cmake": "".join([
            f"set(TAZEL_PACKAGE_INSTALLER_NAME {cmake_text(description.installer_name)})\n",
            "set(TAZEL_PACKAGE_PAYLOAD\n",
            *(f"    {cmake_text(p)}\n" for p in payload),
            ")\n",
        ]),
    }


def cmake_text(text):
    """A CMake bracket argument: taken literally, whatever it holds."""
    level = 0
    while f"]{'=' * level}]" in text:
        level += 1
    return f"[{'=' * level}[{text}]{'=' * level}]"


def write_if_changed(path, text):
    """Unchanged files keep their time, so a new configure run rebuilds nothing."""
    data = text.encode("utf-8")
    if path.exists() and path.read_bytes() == data:
        return
    path.write_bytes(data)


# Command line -----------------------------------------------------------------------------------

def arguments(argv):
    parser = argparse.ArgumentParser(prog="package_description.py", description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    checking = commands.add_parser("check")
    generating = commands.add_parser("generate")
    for command in (checking, generating):
        command.add_argument("description", nargs="?" if command is generating else None)
        command.add_argument("--sources", help="the folder sources are relative to (default: the description's)")
    generating.add_argument("--art", required=True, help="the card art folder: window picture and icon")
    generating.add_argument("--resources", required=True, help="the source tree's resources folder")
    generating.add_argument("--out", required=True)
    generating.add_argument("--unchecked", action="store_true")
    generating.add_argument("--installer-name")
    generating.add_argument("--display-name")
    generating.add_argument("--file", action="append", default=[], metavar="NAME=SOURCE")
    options = parser.parse_args(argv)
    if options.command == "generate" and options.unchecked == bool(options.description):
        parser.error("generate takes a description, or --unchecked with the package on the command line")
    return options


def main(argv=None):
    # Names go to the scripts and the terminal as UTF-8, whatever the locale says.
    for stream in (sys.stdout, sys.stderr):
        stream.reconfigure(encoding="utf-8")
    options = arguments(sys.argv[1:] if argv is None else argv)
    if options.command == "generate" and options.unchecked:
        if not all("=" in f for f in options.file) or len(options.file) > MOST_FILES:
            sys.exit(f"package_description.py: --file takes NAME=SOURCE, at most {MOST_FILES} times")
        description = Description(installer_name=options.installer_name or "", display_name=options.display_name or "",
                                  files=[FileEntry(*f.split("=", 1)) for f in options.file])
        sources = os.path.abspath(options.sources or ".")
    else:
        sources = os.path.abspath(options.sources or os.path.dirname(os.path.abspath(options.description)))
        try:
            description = load(options.description, sources)
        except BadDescription as bad:
            print(bad.report(), file=sys.stderr)
            print(f"{bad.path}: not built: {len(bad.problems)} problem{'s' if len(bad.problems) > 1 else ''}",
                  file=sys.stderr)
            return 1
    if options.command == "check":
        print(summary(description), file=sys.stderr)
        print(description.installer_name)
        print(description.display_name)
        return 0
    out = pathlib.Path(options.out)
    out.mkdir(parents=True, exist_ok=True)
    for name, text in render(description, sources, options.art, options.resources).items():
        write_if_changed(out / name, text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
