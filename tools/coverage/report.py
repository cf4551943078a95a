"""Writes the coverage report from the counters that scripts/coverage.sh collected.

What counts:
  - Product files are those under core/, platform/, payload/, ui/ and host/. Their executable lines
    are the lines gcov finds in the objects the product itself is built from (the Windows build's
    own targets, not those under tests/), so code of a test build only (a test hook) is not
    counted, and neither is code that only the coverage build compiles (TAZEL_COVERAGE_DUMP).
    The statement right after that code (the last resort's ExitProcess) runs once the counters
    are written and never shows a count of its own: it counts as executed when the dump ran.
    As with gcov, an inline or template function that no product code uses has no lines at all.
  - A line is executed when any run executed it: the native unit tests (tazel_core, and the
    product's header code that the tests call themselves), or the instrumented installer or a
    test package in any end-to-end scenario.
  - Each TAZEL_RETURN_IF_FAILED site counts once more, for its failure return, which shares the
    call's line: executed when the FAILED test's true arc was taken. gcov lists the arcs of the
    line's one conditional with the true arc first; unoptimised, the compiler places the return
    right after the test, so that arc is also the fall-through one. The report stops when a site
    has any other shape, as its failure return could not be told apart then.
"""

import argparse
import datetime
import json
import os
import re
import subprocess
import sys
import tempfile
from collections import defaultdict

PRODUCT_FOLDERS = ("core", "platform", "payload", "ui", "host")
SITE_MACRO = "TAZEL_RETURN_IF_FAILED"
COVERAGE_ONLY = "TAZEL_COVERAGE_DUMP"
WINDOWS_GCOV = "i686-w64-mingw32-gcov"
NATIVE_GCOV = "gcov"
KINDS = {
    "system-failure": "a system failure that no test provokes",
    "other-windows": "a fallback for another Windows",
    "dead-code": "dead code",
    "untested": "untested behaviour",
    "packer-only": "code only the package maker reaches, whose tests are outside this report",
    "uncounted": "run after the installer has written its counters",
}
NO_REASON = "no reason given"


# --- gcov -----------------------------------------------------------------------------------

def run_gcov(tool, gcno_files):
    """gcov's JSON documents for the objects (each .gcda, where there is one, beside its .gcno)."""
    if not gcno_files:
        return []
    with tempfile.TemporaryDirectory() as scratch:
        result = subprocess.run([tool, "--json-format", "--stdout", "--branch-probabilities"] +
                                [os.path.abspath(path) for path in gcno_files],
                                cwd=scratch, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        raise SystemExit(f"{tool} failed ({result.returncode}):\n{result.stderr[-3000:]}")
    return [json.loads(line) for line in result.stdout.splitlines() if line.startswith("{")]


def gcno_files(folder):
    return sorted(os.path.join(d, n) for d, _, names in os.walk(folder) for n in names if n.endswith(".gcno"))


def linked_objects(scenario, gcno_by_relative):
    """Pairs each counter file of a scenario with its .gcno: libgcov wrote it under the object's
    full build path, so the build folder's relative path of the object ends that path."""
    pairs = []
    for folder, _, names in os.walk(scenario):
        for name in names:
            if not name.endswith(".gcda"):
                continue
            parts = os.path.relpath(os.path.join(folder, name), scenario).split(os.sep)
            for start in range(len(parts)):
                relative = "/".join(parts[start:])[:-len(".gcda")]
                if relative in gcno_by_relative:
                    pairs.append((os.path.join(folder, name), gcno_by_relative[relative]))
                    break
    return pairs


def scenario_documents(scenario, build):
    """gcov's documents for one scenario's counters, each .gcda put beside a link to its .gcno."""
    gcno_by_relative = {os.path.relpath(path, build)[:-len(".gcno")].replace(os.sep, "/"): path
                        for path in gcno_files(build)}
    with tempfile.TemporaryDirectory() as mirror:
        objects = []
        for gcda, gcno in linked_objects(scenario, gcno_by_relative):
            base = os.path.join(mirror, os.path.relpath(gcno, build)[:-len(".gcno")])
            os.makedirs(os.path.dirname(base), exist_ok=True)
            os.symlink(os.path.abspath(gcno), base + ".gcno")
            os.symlink(os.path.abspath(gcda), base + ".gcda")
            objects.append(base + ".gcno")
        return run_gcov(WINDOWS_GCOV, objects)


def product_file(path, source):
    """The product file's path relative to the source tree, or None for any other file. Paths the
    Windows build recorded are already relative to it (-ffile-prefix-map)."""
    if os.path.isabs(path):
        path = os.path.relpath(os.path.realpath(path), os.path.realpath(source))
    path = os.path.normpath(path).replace(os.sep, "/")
    return path if path.split("/")[0] in PRODUCT_FOLDERS else None


def product_entries(documents, source):
    for document in documents:
        for entry in document["files"]:
            name = product_file(entry["file"], source)
            if name:
                yield name, entry


# --- What the product is made of ------------------------------------------------------------

class Product:
    def __init__(self, source, documents):
        self.source = source
        self._texts = {}
        self.lines = defaultdict(set)          # file -> executable line numbers
        self.functions = defaultdict(dict)     # file -> {(start line, start column, end line): name}
        self.after_dump = {}                   # (file, line) -> the coverage build's dump lines before it
        for name, entry in product_entries(documents, source):
            excluded = coverage_only_lines(os.path.join(source, name))
            numbers = {line["line_number"] for line in entry["lines"]}
            self.lines[name].update(numbers - excluded)
            for first, last in blocks(excluded):
                following = min((n for n in numbers if n > last), default=None)
                if following:
                    self.after_dump[(name, following)] = {(name, n) for n in numbers if first <= n <= last}
            for f in entry["functions"]:
                written = WRITTEN_NAME.match(self.text(name)[f["start_line"] - 1], f["start_column"] - 1)
                written = written.group(0) if written else f["demangled_name"]
                self.functions[name][(f["start_line"], f["start_column"], f["end_line"])] = \
                    function_name(f["demangled_name"], written)
        self.lines = {name: lines for name, lines in self.lines.items() if lines}
        self.sites = find_sites(source, self.lines)
        check_site_shapes(self.sites, documents, source)

    def function_at(self, name, line):
        """The innermost function around a line; a lambda is named after the function it is in."""
        around = sorted(key for key in self.functions[name] if key[0] <= line <= key[2])
        names = [self.functions[name][key] for key in around]
        while len(names) > 1 and names[-1] == "[":
            names[-2:] = [names[-2] + "::lambda"]
        return names[-1] if names else "(outside any function)"

    def text(self, name):
        if name not in self._texts:
            with open(os.path.join(self.source, name), encoding="utf-8") as f:
                self._texts[name] = f.read().splitlines()
        return self._texts[name]

    def source_line(self, name, line):
        lines = self.text(name)
        return lines[line - 1].strip() if line <= len(lines) else ""


def blocks(numbers):
    """Runs of consecutive numbers as (first, last)."""
    runs = []
    for n in sorted(numbers):
        if runs and runs[-1][1] == n - 1:
            runs[-1][1] = n
        else:
            runs.append([n, n])
    return [tuple(run) for run in runs]


def coverage_only_lines(path):
    """Lines between `#ifdef TAZEL_COVERAGE_DUMP` and its `#endif`: the coverage build's alone."""
    inside, found = False, set()
    with open(path, encoding="utf-8") as f:
        for number, text in enumerate(f, 1):
            stripped = text.strip()
            if stripped == f"#ifdef {COVERAGE_ONLY}":
                inside = True
            if inside:
                found.add(number)
            if stripped.startswith("#endif"):
                inside = False
    return found


def find_sites(source, lines):
    """(file, line) of every TAZEL_RETURN_IF_FAILED in the product's sources, its definition aside."""
    sites = []
    for folder in PRODUCT_FOLDERS:
        for directory, _, names in os.walk(os.path.join(source, folder)):
            for file_name in sorted(names):
                path = os.path.join(directory, file_name)
                name = os.path.relpath(path, source).replace(os.sep, "/")
                with open(path, encoding="utf-8") as f:
                    for number, text in enumerate(f, 1):
                        if re.search(rf"\b{SITE_MACRO}\s*\(", text) and not text.lstrip().startswith("#"):
                            if number not in lines[name]:
                                raise SystemExit(f"{name}:{number}: a {SITE_MACRO} site that the product does not compile")
                            sites.append((name, number))
    return sorted(sites)


def check_site_shapes(sites, documents, source):
    wanted = set(sites)
    for name, entry in product_entries(documents, source):
        for line in entry["lines"]:
            if (name, line["line_number"]) not in wanted:
                continue
            arcs = [(arc["fallthrough"], arc["throw"]) for arc in line["branches"]]
            if arcs != [(True, False), (False, False)]:
                raise SystemExit(f"{name}:{line['line_number']}: cannot tell the failure return of this "
                                 f"{SITE_MACRO} site from its arcs {line['branches']}")


WRITTEN_NAME = re.compile(r"\[|(?:~?\w+::)*(?:operator\s*(?:\(\)|\[\]|new\[\]|delete\[\]|new|delete|\w+|[^\s(\w]+)|~?\w+)")


def function_name(demangled, written):
    """A function's name for reading and for naming it in the reasons file: as the source writes it,
    qualified by the classes (not the namespaces) around it, without parameters or template
    arguments: "Win32Platform::Clock", "UniqueResource::reset", "operator new[]"."""
    text = demangled.replace("[abi:cxx11]", "").replace("(anonymous namespace)::", "")
    text = re.sub(r"^tazel::(?:win32::|layout::)?|(?<=[\s*(])tazel::(?:win32::|layout::)?", "", text)
    out, depth = [], 0
    for char in text:  # template arguments out
        depth += char == "<"
        if depth == 0:
            out.append(char)
        depth -= char == ">" and depth > 0
    text = "".join(out)
    last = written.split("::")[-1]
    match = re.search(r"((?:~?\w+::)*)" + re.escape(last) + r"\s*\(", text)
    return (match.group(1) + last) if match else written


# --- What the runs executed -----------------------------------------------------------------

class Executed:
    def __init__(self):
        self.lines = set()          # (file, line)
        self.failure_returns = set()  # (file, line) of sites whose failure return ran
        self.sources = []

    def credit_after_dump(self, product):
        """The statement after the coverage build's own counter dump (the last resort's ExitProcess)
        runs once the counters are written, so it never shows a count: it ran when the dump did."""
        for line, dump in product.after_dump.items():
            if dump & self.lines:
                self.lines.add(line)

    def add(self, label, documents, product):
        sites = set(product.sites)
        for name, entry in product_entries(documents, product.source):
            for line in entry["lines"]:
                key = (name, line["line_number"])
                if line["count"] > 0:
                    self.lines.add(key)
                if key in sites and line["branches"] and line["branches"][0]["count"] > 0:
                    self.failure_returns.add(key)
        self.sources.append(label)


# --- Reasons --------------------------------------------------------------------------------

class Reasons:
    """tools/coverage/reasons.txt: `<file>:<function or first[-last] line>  <kind>  <why>`."""

    def __init__(self, path):
        self.entries = []
        with open(path, encoding="utf-8") as f:
            for number, text in enumerate(f, 1):
                text = text.strip()
                if not text or text.startswith("#"):
                    continue
                # A function's name may hold spaces ("operator new[]"): the kind ends it.
                fields = re.fullmatch(rf"([^:\s]+):(.+?)\s+({'|'.join(KINDS)})\s+(.+)", text)
                if not fields:
                    raise SystemExit(f"{path}:{number}: not `<file>:<function or lines> <kind> <why>` "
                                     f"with a kind of {', '.join(KINDS)}")
                name, what, kind, why = fields.groups()
                lines = re.fullmatch(r"(\d+)(?:-(\d+))?", what)
                span = (int(lines.group(1)), int(lines.group(2) or lines.group(1))) if lines else None
                self.entries.append({"file": name, "function": None if span else what, "lines": span,
                                     "kind": kind, "why": why, "used": False, "where": f"{os.path.basename(path)}:{number}"})

    def find(self, name, line, function):
        """The reason for an unexecuted line: a line range first (the narrowest), else its function."""
        ranges = [e for e in self.entries if e["file"] == name and e["lines"] and e["lines"][0] <= line <= e["lines"][1]]
        if ranges:
            chosen = min(ranges, key=lambda e: e["lines"][1] - e["lines"][0])
        else:
            named = [e for e in self.entries if e["file"] == name and e["function"] and
                     (function == e["function"] or function.endswith("::" + e["function"]))]
            if not named:
                return None
            chosen = named[0]
        chosen["used"] = True
        return chosen


# --- The report -----------------------------------------------------------------------------

def percent(done, total):
    return f"{100.0 * done / total:.1f} %" if total else "-"


def write_report(product, executed, reasons, context):
    files = sorted(product.lines)
    sites_in = defaultdict(list)
    for name, line in product.sites:
        sites_in[name].append(line)

    rows, areas = [], defaultdict(lambda: [0, 0])
    totals = {"lines": 0, "lines_run": 0, "sites": 0, "sites_run": 0}
    missing = defaultdict(list)  # file -> [(line, is failure return)]
    for name in files:
        lines = product.lines[name]
        run = {n for n in lines if (name, n) in executed.lines}
        sites = sites_in[name]
        sites_run = [n for n in sites if (name, n) in executed.failure_returns]
        units, units_run = len(lines) + len(sites), len(run) + len(sites_run)
        rows.append((name, units, units_run, len(sites), len(sites_run)))
        area = areas[name.split("/")[0]]
        area[0] += units
        area[1] += units_run
        totals["lines"] += len(lines)
        totals["lines_run"] += len(run)
        totals["sites"] += len(sites)
        totals["sites_run"] += len(sites_run)
        missing[name] = sorted([(n, False) for n in lines - run] + [(n, True) for n in sites if n not in sites_run])
    units = totals["lines"] + totals["sites"]
    units_run = totals["lines_run"] + totals["sites_run"]

    out = []
    out.append("# Coverage of the installer's own code by the project's tests")
    out.append("")
    out.append(f"Measured {context['date']} by `scripts/coverage.sh`.  ")
    out.append(f"End-to-end route: {context['route']}  ")
    out.append(f"Counters from: the native unit tests of the core, and {context['scenarios']} end-to-end "
               "scenario prefixes in which an instrumented installer ended.")
    for problem in context["problems"]:
        out.append("")
        out.append(f"**{problem}**")
    out.append("")
    out.append(f"**Total: {units_run} of {units} executable units, {percent(units_run, units)}** "
               f"({totals['lines_run']} of {totals['lines']} lines, {percent(totals['lines_run'], totals['lines'])}; "
               f"{totals['sites_run']} of {totals['sites']} {SITE_MACRO} failure returns).")
    out.append("")
    out.append("How it is counted: the lines gcov counts as executable in the product's own objects, built "
               "with `--coverage -O0`, plus one unit per `" + SITE_MACRO + "` site for its failure return, "
               "which shares the call's line and is executed only when the site's FAILED branch was taken. "
               "A line is executed when any test executed it (see `tools/coverage/report.py`).")
    out.append("")
    out.append("| area | units | executed | % |")
    out.append("|---|---:|---:|---:|")
    for area in PRODUCT_FOLDERS:
        if area in areas:
            out.append(f"| {area}/ | {areas[area][0]} | {areas[area][1]} | {percent(areas[area][1], areas[area][0])} |")
    out.append("")
    out.append("| file | units | executed | % | of them failure returns (executed / sites) |")
    out.append("|---|---:|---:|---:|---|")
    for name, file_units, file_run, sites, sites_run in rows:
        returns = f"{sites_run} / {sites}" if sites else ""
        out.append(f"| {name} | {file_units} | {file_run} | {percent(file_run, file_units)} | {returns} |")
    out.append(f"| **total** | **{units}** | **{units_run}** | **{percent(units_run, units)}** | "
               f"{totals['sites_run']} / {totals['sites']} |")
    out.append("")
    out.append("## Never executed")
    out.append("")
    out.append("Grouped by function, each group with its reason from `tools/coverage/reasons.txt`: "
               + ", ".join(KINDS.values()) + f", or *{NO_REASON}*.")
    unexplained = 0
    for name in files:
        if not missing[name]:
            continue
        groups = {}
        for line, is_return in missing[name]:
            function = product.function_at(name, line)
            reason = reasons.find(name, line, function)
            key = (function, reason["where"] if reason else None)
            groups.setdefault(key, {"reason": reason, "units": []})["units"].append((line, is_return))
        out.append("")
        out.append(f"### {name}")
        for (function, _), group in groups.items():
            reason = group["reason"]
            if reason:
                said = f"{KINDS[reason['kind']]}: {reason['why']}"
            else:
                said = f"*{NO_REASON}*"
                unexplained += len(group["units"])
            out.append("")
            out.append(f"`{function}`: {said}")
            out.append("")
            out.append("```")
            for line, is_return in group["units"]:
                mark = " failure return" if is_return else ""
                out.append(f"{line:4d}{mark:>15}  {product.source_line(name, line)}")
            out.append("```")
    stale = [e for e in reasons.entries if not e["used"]]
    if stale:
        out.append("")
        out.append("## Reasons that match no unexecuted line")
        out.append("")
        for entry in stale:
            what = entry["function"] or "-".join(str(n) for n in entry["lines"])
            out.append(f"- {entry['where']}: `{entry['file']}:{what}`")
    out.append("")
    summary = (f"{units_run} of {units} units executed, {percent(units_run, units)} "
               f"({totals['lines_run']} of {totals['lines']} lines; "
               f"{totals['sites_run']} of {totals['sites']} failure returns); "
               f"{units - units_run} not executed, {unexplained} of them without a reason")
    return "\n".join(out), rows, areas, summary


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", required=True, help="the source tree")
    parser.add_argument("--build", required=True, help="build/coverage: native/, win-i686/, counters/")
    parser.add_argument("--reasons", help="default: tools/coverage/reasons.txt of the source tree")
    parser.add_argument("--unit-status", type=int, default=0)
    parser.add_argument("--e2e-status", type=int, default=0)
    args = parser.parse_args()
    windows = os.path.join(args.build, "win-i686")
    native = os.path.join(args.build, "native")
    counters = os.path.join(args.build, "counters")

    # The product's objects are the Windows build's own targets; those under tests/ are test builds.
    product = Product(args.source, run_gcov(WINDOWS_GCOV, gcno_files(os.path.join(windows, "CMakeFiles"))))
    executed = Executed()
    # Natively, the core and the unit tests themselves are instrumented, nothing else.
    executed.add("unit tests", run_gcov(NATIVE_GCOV, gcno_files(native)), product)
    scenarios = sorted(os.listdir(counters)) if os.path.isdir(counters) else []
    for scenario in scenarios:
        executed.add(scenario, scenario_documents(os.path.join(counters, scenario), windows), product)

    executed.credit_after_dump(product)

    problems = []
    if args.unit_status:
        problems.append(f"The unit tests failed (status {args.unit_status}); see {args.build}/unit-tests.log.")
    if args.e2e_status:
        failed_log = os.path.join(native, "Testing", "Temporary", "LastTestsFailed.log")
        failed = open(failed_log).read().split() if os.path.exists(failed_log) else []
        problems.append(f"End-to-end tests failed (status {args.e2e_status}): {' '.join(failed) or 'see the log'}; "
                        f"see {args.build}/e2e-tests.log. Their counters are counted as far as they ran.")
    if not scenarios:
        problems.append("No end-to-end scenario left counters.")
    route_file = os.path.join(native, "tests", "e2e", "output", "route.txt")
    route = open(route_file, encoding="utf-8").read().strip() if os.path.exists(route_file) else "unknown"
    route = route.removeprefix("running the 32-bit installer ")
    context = {
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
        "route": route,
        "scenarios": len(scenarios),
        "problems": problems,
    }
    reasons = Reasons(args.reasons or os.path.join(args.source, "tools", "coverage", "reasons.txt"))
    text, rows, areas, summary = write_report(product, executed, reasons, context)
    path = os.path.join(args.build, "report.md")
    with open(path, "w", encoding="utf-8") as f:
        f.write(text + "\n")

    for area in PRODUCT_FOLDERS:
        if area in areas:
            print(f"{area + '/':10} {areas[area][1]:4d} of {areas[area][0]:4d}  {percent(areas[area][1], areas[area][0])}")
    print(f"coverage, {context['date']}: {summary}")
    for problem in problems:
        print(problem, file=sys.stderr)
    print(f"report: {path}")
    if problems:
        raise SystemExit("coverage: FAILED: see the problems above; the figure counts failing tests only as far "
                         "as they ran")


if __name__ == "__main__":
    main()
