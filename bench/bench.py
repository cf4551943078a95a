"""Where the installer stands: its speed, processor time, memory and size against a bare Win32
program (bench/Baseline.cpp) built with the same toolchain and run under the same Wine, in the
same prefix, round by round. A benchmark, not a test: it asserts nothing and CI does not run it.
Run through scripts/bench.sh, which builds first.

Per round, in a fresh prefix in which the host's graphics folder exists, the test driver starts
each program and reports when its window is shown and when its last box appears. At sync points
in the pause and at that box the program's Wine process is read from /proc (processor time from
stat, memory from status): under Wine, GetProcessTimes would report the caller's own times.

Where the installer's time after the pause goes comes from a third program in each round,
TestMarks.exe: the product's code and payload built with the marks of platform/Marks.h, which
writes when each step after the window's showing began and ended (tests/hooks/Marks.cpp).
The integrity check's hashing, which the installer does in its pause, is timed apart by a 32-bit
program of the installer's own core and options (bench/CheckTiming.cpp).

The compressed deck, TestCompressedDeck.exe (the product's eight files stored as LZMA streams, in
the stub with the decoder), runs last in each round, played as the product is, into an emptied
graphics folder: what decoding adds after the pause is set beside the product's time.

Last, packing: tazelpack against makensis (bench/packing.py), and the package maker's page in
chromium, whose compressed packing is set beside makensis's of the same run (bench/webpage.py).
"""

import argparse
import datetime
import json
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(REPO, "tests", "e2e", "harness"))
sys.path.insert(0, os.path.join(REPO, "tests", "build"))

import packing  # noqa: E402
import webpage  # noqa: E402
import winelab  # noqa: E402
from expected import DECK, DEFAULT_FOLDER  # noqa: E402
from pe import PeImage  # noqa: E402

INSTALLER = "TazelDeck.exe"
BASELINE = "TazelBaseline.exe"
MARKED = "TestMarks.exe"
COMPRESSED = "TestCompressedDeck.exe"
MARKS_FILE = "C:\\tazel\\marks.txt"
CHECK_TIMING = "TazelCheckTiming.exe"
PAUSE_MS = 2000
# How long into the pause processor time is sampled: short of its end by more than the driver's
# and the harness's delays.
PAUSE_SAMPLE_MS = 1700
MB = 1_000_000

# The targets the installer is held to (the size one is also a check in tests/build).
EXTRA_WAIT_LIMIT_MS = 50
# On the fastest rounds, the installer's work after the pause at most the bare box's time plus this.
FASTEST_ABOVE_BASELINE_LIMIT_MS = 10
PAUSE_CPU_LIMIT = 0.05
PRIVATE_MEMORY_ABOVE_BASELINE_LIMIT = 3 * MB
BEYOND_PAYLOAD_LIMIT = 95_000
# The integrity check: this long at most outright, or else inside the pause.
CHECK_LIMIT_MS = 10
# The compressed deck's window-to-box time at most the product's (medians) plus this.
COMPRESSED_ABOVE_INSTALLER_LIMIT_MS = 100

RT_MANIFEST = 24


def route_of(session):
    """(description, emulated) of how the harness runs the 32-bit programs here."""
    route = session.route
    return f"{route.name}: {route.description}", route.emulated


def wine_version():
    try:
        return subprocess.run([winelab.WINE64, "--version"], capture_output=True, text=True, timeout=60).stdout.strip()
    except (OSError, AttributeError, subprocess.SubprocessError):
        return "unknown"


def memory_kb(pid):
    """VmHWM and RssAnon of a process, in kB."""
    found = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            if key in ("VmHWM", "RssAnon"):
                found[key] = int(value.split()[0])
    return found


def manifest(path):
    """The application manifest an executable carries, or None."""
    with open(path, "rb") as f:
        return PeImage(f.read()).resources().get((RT_MANIFEST, 1, 0))


def beyond_payload(path):
    """Bytes of an executable beyond the payload entries it carries."""
    with open(path, "rb") as f:
        data = f.read()
    payload = sum(len(v) for (kind, _name, _lang), v in PeImage(data).resources().items() if kind == "CUSTOM")
    return len(data) - payload


class Sampler:
    """Reads one program's Wine process at the driver's sync points."""

    def __init__(self, prefix, exe_name):
        self.prefix = prefix
        self.exe_name = exe_name
        self.samples = {}

    def __call__(self, event, _run):
        pid = self.prefix.find_process(self.exe_name)
        if pid is None:
            raise RuntimeError(f"the Wine process of {self.exe_name} was not found")
        self.samples[event["name"]] = {"clock": time.monotonic(), "cpu": winelab.cpu_seconds(pid),
                                       **memory_kb(pid)}


def first_seen(run, kind, title):
    """When the driver first saw a window: the earlier of its "shown" note and the event that
    reports it, which is stamped only after the window's texts have been read across processes."""
    reported = [e for e in run.of(kind) if e.get("title") == title]
    shown = [e["t"] for e in run.of("shown") if e.get("title") == title]
    return min([reported[-1]["t"]] + shown)


def play(prefix, exe_name, actions, output):
    """One run of a program under the driver, sampling its process at each sync point."""
    sampler = Sampler(prefix, exe_name)
    windows_path = prefix.add_program(prefix.session.config.program(exe_name))
    syncs = [a.split("=", 1)[1] for a in actions if a.startswith("sync=")]
    run = prefix.run_driver(windows_path, actions, hooks={name: sampler for name in syncs}, timeout=60,
                            transcript=os.path.join(output, exe_name + ".jsonl"))
    # Status 0: the installer's "installed", the baseline's only one.
    if run.returncode != 0 or run.exit_code != 0:
        raise RuntimeError(f"{exe_name} did not run to its final box:\n{run.describe()}")
    started = run.of("started")[0]["t"]
    window = first_seen(run, "window", winelab.MAIN_WINDOW_TITLE)
    box = first_seen(run, "box", run.boxes[-1]["title"])
    final = sampler.samples["final"]
    return {"launch_to_window_ms": window - started, "window_to_box_ms": box - window,
            "vmhwm_kb": final["VmHWM"], "rssanon_kb": final["RssAnon"]}, sampler.samples


def play_installer(prefix, output, exe_name=INSTALLER):
    # Processor time is sampled twice inside the pause, which starts as the window is shown:
    # a little after it begins and well before its end.
    measured, samples = play(prefix, exe_name, ["window", "sync=pause-start", f"sleep={PAUSE_SAMPLE_MS}",
                                                 "sync=pause-late", "box", "sync=final", "press=ok"], output)
    start, late = samples["pause-start"], samples["pause-late"]
    measured["cpu_share"] = (late["cpu"] - start["cpu"]) / (late["clock"] - start["clock"])
    return measured


def play_baseline(prefix, output):
    return play(prefix, BASELINE, ["window", "box", "sync=final", "press=ok"], output)[0]


def empty_graphics_folder(prefix):
    """An empty graphics folder, as the installer's own run finds it."""
    folder = prefix.unix_path(DEFAULT_FOLDER)
    for name in os.listdir(folder):
        os.remove(os.path.join(folder, name))


def play_compressed(prefix, output):
    empty_graphics_folder(prefix)
    return play_installer(prefix, output, COMPRESSED)


def parse_marks(text):
    """[(name, made, gone)] in ms, from the lines the marked build writes."""
    marks = []
    for line in text.splitlines():
        name, made, gone = line.rsplit(" ", 2)
        marks.append((name, int(made) / 1000, int(gone) / 1000))
    return marks


def breakdown(marks, window_to_box_ms):
    """{part: ms} of the time from the window's showing to the final box, less the pause."""
    # The driver sees the window while ShowWindow is at work; its figure is taken to start there.
    showing, shown = next((made, gone) for name, made, gone in marks if name == "window")
    # The pause ends where the folder lookup begins; the integrity check fetches the payload
    # entries inside the pause, and those fetches are the pause's.
    pause_end = next(made for name, made, _gone in marks if name == "folder lookup")
    after = [m for m in marks if m[1] >= pause_end]
    box = next(made for name, made, _gone in after if name == "box")
    parts = {"show": shown - showing, "pause": pause_end - shown - PAUSE_MS}
    tests = 0
    for name, made, gone in after:
        if name == "folder lookup":
            parts["lookup"] = gone - made
        elif name == "folder test":
            tests += 1
            parts[f"test {tests}"] = gone - made
        elif name == "leftover search":
            parts["leftovers"] = gone - made
        elif name == "payload entry":
            parts["payload"] = parts.get("payload", 0) + gone - made
        elif name == "file":
            index = sum(key.startswith("file ") for key in parts)
            parts[f"file {index}"] = gone - made
            parts[f"flush {index}"] = sum(g - m for n, m, g in after if n == "flush" and made <= m <= gone)
        elif name == "beep":
            parts["beep"] = gone - made
    # The box is asked for at its mark and seen by the driver later; the driver's own figure,
    # from the window's showing to the box, holds both.
    parts["box"] = window_to_box_ms - (box - showing)
    measured = sum(v for k, v in parts.items() if k not in ("box", "show", "pause") and not k.startswith("flush"))
    parts["between"] = box - pause_end - measured
    parts["total"] = window_to_box_ms - PAUSE_MS
    return parts


def play_marked(prefix, output):
    """The marked build's run: the driver's window-to-box time, split at the build's marks."""
    empty_graphics_folder(prefix)
    windows_path = prefix.add_program(prefix.session.config.program(MARKED))
    prefix.environment["TAZEL_TEST_MARKS"] = MARKS_FILE
    try:
        run = prefix.run_driver(windows_path, ["window", "box", "press=ok"], timeout=60,
                                transcript=os.path.join(output, MARKED + ".jsonl"))
    finally:
        del prefix.environment["TAZEL_TEST_MARKS"]
    if run.returncode != 0 or run.exit_code != 0:
        raise RuntimeError(f"{MARKED} did not run to its final box:\n{run.describe()}")
    window = first_seen(run, "window", winelab.MAIN_WINDOW_TITLE)
    box = first_seen(run, "box", run.boxes[-1]["title"])
    marks = parse_marks(prefix.read_file(MARKS_FILE).decode("ascii"))
    return breakdown(marks, box - window)


def measure(session, rounds, warmup, output):
    results = []
    for index in range(warmup + rounds):
        prefix = winelab.Prefix(session, "bench")
        try:
            prefix.make_folder(DEFAULT_FOLDER)
            # The order alternates, counted from the first measured round so that warm-up rounds do
            # not shift it: each program runs first, on the colder machine and in the unused prefix,
            # in every other measured round.
            order = [(INSTALLER, play_installer), (BASELINE, play_baseline)]
            if (index - warmup) % 2:
                order.reverse()
            measured = {name: player(prefix, output) for name, player in order}
            measured["first"] = order[0][0]
            # After the pair, so that they change nothing the two meet.
            measured[MARKED] = play_marked(prefix, output)
            measured[COMPRESSED] = play_compressed(prefix, output)
        finally:
            prefix.close()
        kind = "warm-up" if index < warmup else f"round {index - warmup + 1}/{rounds}"
        installer, baseline, compressed = measured[INSTALLER], measured[BASELINE], measured[COMPRESSED]
        print(f"bench: {kind}: installer {installer['launch_to_window_ms']} + {installer['window_to_box_ms']} ms, "
              f"baseline {baseline['launch_to_window_ms']} + {baseline['window_to_box_ms']} ms, "
              f"compressed {compressed['launch_to_window_ms']} + {compressed['window_to_box_ms']} ms",
              file=sys.stderr)
        if index >= warmup:
            results.append(measured)
    return results


def check_timing(session):
    """What hashing the installer's payload costs in 32-bit code, as its integrity check does it
    (bench/CheckTiming.cpp), run in a prefix of its own: the program's JSON line."""
    prefix = winelab.Prefix(session, "bench-check")
    try:
        program = prefix.add_program(session.config.program(CHECK_TIMING))
        installer = prefix.add_program(session.config.program(INSTALLER))
        status, text = prefix.wine(program, installer)
    finally:
        prefix.close()
    found = [line for line in text.splitlines() if line.startswith("{")]
    if status != 0 or not found:
        raise RuntimeError(f"{CHECK_TIMING} failed ({status}):\n{text[-1500:]}")
    return json.loads(found[-1])


def check_row(check, emulated):
    """The table's row for the integrity check: outright within its limit, or inside the pause,
    whose length the window-to-box row holds."""
    timing_note = " (emulated: timings mean little)" if emulated else ""
    outright = check["median_ms"] <= CHECK_LIMIT_MS
    inside = check["median_ms"] < PAUSE_MS
    return (f"| integrity check: SHA-256 of the payload ({check['bytes'] / MB:.2f} MB) in 32-bit code, ms{timing_note} "
            f"| {check['median_ms']:.1f} [best {check['best_ms']:.1f}], in the pause; its longest 64 KB step "
            f"{check['longest_step_ms']:.1f} | | at most {CHECK_LIMIT_MS}, or inside the pause "
            f"| {verdict(outright or inside, emulated)}{'' if outright else ' (inside the pause)'} |")


def spread(values, fmt):
    values = sorted(values)
    return f"{fmt(statistics.median(values))} [{fmt(values[0])} to {fmt(values[-1])}]"


def verdict(met, emulated=False):
    if emulated:
        return "not judged (emulated)"
    return "met" if met else "NOT MET"


def payload_sizes(path):
    """{file name: bytes} of the deck an executable carries."""
    with open(path, "rb") as f:
        entries = {name: data for (kind, name, _lang), data in PeImage(f.read()).resources().items() if kind == "CUSTOM"}
    return {name: len(entries[resource]) for name, resource in DECK}


def breakdown_table(parts, sizes, timing_note):
    """Where the marked build's time from the window's showing to the final box goes."""
    ms = "{:.1f}".format
    files = sum(key.startswith("file ") for key in parts[0])

    def row(label, key):
        return f"| {label} | {spread([p[key] for p in parts], ms)} |"

    def file_row(i):
        name, _resource = DECK[i]
        return (f"| {name} written ({sizes[name] / 1000:,.0f} kB), of which its flush "
                f"| {spread([p[f'file {i}'] for p in parts], ms)}, {spread([p[f'flush {i}'] for p in parts], ms)} |")

    all_files = [sum(p[f"file {i}"] for i in range(files)) for p in parts]
    all_flushes = [sum(p[f"flush {i}"] for i in range(files)) for p in parts]
    return [f"Where that time goes{timing_note}: {MARKED}, the product's code and payload with marks "
            "(platform/Marks.h), run third in each round; ms, median [lowest to highest]",
            "",
            "| part | ms |",
            "|---|---|",
            row("showing the window (ShowWindow)", "show"),
            row(f"the pause's overrun past {PAUSE_MS:,} ms", "pause"),
            row("folder lookup (the machine-wide application data folder)", "lookup"),
            row("folder test of the default folder", "test 1"),
            row("folder test again, before the copy", "test 2"),
            row("search for leftover temporary files", "leftovers"),
            row("payload entries fetched, all eight", "payload"),
            *[file_row(i) for i in range(files)],
            f"| all eight files written, of which their flushes | {spread(all_files, ms)}, {spread(all_flushes, ms)} |",
            row("beep", "beep"),
            row("box: from asking for it to the driver seeing it", "box"),
            row("the rest: the core's own work between the marks", "between"),
            row(f"in all: window shown to final box less the {PAUSE_MS:,} ms pause", "total")]


def table(results, session, rounds, warmup, check):
    config = session.config
    route, emulated = route_of(session)
    installer = [r[INSTALLER] for r in results]
    baseline = [r[BASELINE] for r in results]
    compressed = [r[COMPRESSED] for r in results]

    def column(rows, key):
        return [row[key] for row in rows]

    ms = "{:.0f}".format
    megabytes = lambda kb: f"{kb * 1024 / MB:.1f}"  # noqa: E731
    extra = [v - PAUSE_MS for v in column(installer, "window_to_box_ms")]
    bare_box = column(baseline, "window_to_box_ms")
    fastest_met = min(extra) <= min(bare_box) + FASTEST_ABOVE_BASELINE_LIMIT_MS
    cpu = column(installer, "cpu_share")
    private_above = [i["rssanon_kb"] - b["rssanon_kb"] for i, b in zip(installer, baseline)]
    compressed_extra = [v - PAUSE_MS for v in column(compressed, "window_to_box_ms")]
    compressed_above = statistics.median(compressed_extra) - statistics.median(extra)

    def above_installer(key):
        """The compressed deck's median memory less the product's, MB."""
        difference = statistics.median(column(compressed, key)) - statistics.median(column(installer, key))
        return f"{round(difference * 1024 / MB, 1) + 0.0:+.1f}"  # + 0.0: no "-0.0"

    sizes = {name: beyond_payload(config.program(name)) for name in (INSTALLER, BASELINE)}
    timing_note = " (emulated: timings mean little)" if emulated else ""
    memory_note = " (emulated: qemu's translations included)" if emulated else ""

    lines = [
        f"Tazel Deck installer against a bare Win32 window with the installer's manifest, "
        f"{datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC",
        f"Route: {route}; {wine_version()}",
        f"{rounds} rounds after {warmup} warm-up, the installer first in "
        f"{sum(r['first'] == INSTALLER for r in results)} of them; median [lowest to highest]; MB = 1,000,000 bytes",
        "",
        "| measure | installer | baseline | target | |",
        "|---|---|---|---|---|",
        f"| launch to window shown, ms{timing_note} | {spread(column(installer, 'launch_to_window_ms'), ms)} "
        f"| {spread(column(baseline, 'launch_to_window_ms'), ms)} | | |",
        f"| window shown to final box less the {PAUSE_MS:,} ms pause, ms{timing_note} | {spread(extra, ms)} "
        f"| {spread(bare_box, ms)} (no pause) | at most {EXTRA_WAIT_LIMIT_MS}; fastest at most the baseline's "
        f"+ {FASTEST_ABOVE_BASELINE_LIMIT_MS} (now {min(extra) - min(bare_box):+.0f}) "
        f"| {verdict(statistics.median(extra) <= EXTRA_WAIT_LIMIT_MS and fastest_met, emulated)} |",
        f"| processor time in the pause (its first {PAUSE_SAMPLE_MS / 1000:g} s), % of wall time{timing_note} "
        f"| {spread([c * 100 for c in cpu], '{:.1f}'.format)} | | at most {PAUSE_CPU_LIMIT * 100:.0f} "
        f"| {verdict(statistics.median(cpu) <= PAUSE_CPU_LIMIT, emulated)} |",
        f"| peak resident set (VmHWM), MB{memory_note} | {spread(column(installer, 'vmhwm_kb'), megabytes)} "
        f"| {spread(column(baseline, 'vmhwm_kb'), megabytes)} | | |",
        f"| private resident (RssAnon) at the final box, MB{memory_note} | {spread(column(installer, 'rssanon_kb'), megabytes)} "
        f"| {spread(column(baseline, 'rssanon_kb'), megabytes)} | at most baseline + 3 "
        f"(now + {spread(private_above, megabytes)}) "
        f"| {verdict(statistics.median(private_above) * 1024 <= PRIVATE_MEMORY_ABOVE_BASELINE_LIMIT, emulated)} |",
        f"| executable beyond its payload, bytes | {sizes[INSTALLER]:,} | {sizes[BASELINE]:,} "
        f"| at most {BEYOND_PAYLOAD_LIMIT:,} | {verdict(sizes[INSTALLER] <= BEYOND_PAYLOAD_LIMIT)} |",
        check_row(check, emulated),
        f"| compressed deck ({COMPRESSED}): window shown to final box less the {PAUSE_MS:,} ms pause, "
        f"ms{timing_note} | {spread(compressed_extra, ms)} | | at most the installer's "
        f"+ {COMPRESSED_ABOVE_INSTALLER_LIMIT_MS} (now {compressed_above:+.0f}) "
        f"| {verdict(compressed_above <= COMPRESSED_ABOVE_INSTALLER_LIMIT_MS, emulated)} |",
        f"| compressed deck: peak resident set (VmHWM), MB{memory_note} "
        f"| {spread(column(compressed, 'vmhwm_kb'), megabytes)} | "
        f"| (the installer's {above_installer('vmhwm_kb')}) | |",
        f"| compressed deck: private resident (RssAnon) at the final box, MB{memory_note} "
        f"| {spread(column(compressed, 'rssanon_kb'), megabytes)} | "
        f"| (the installer's {above_installer('rssanon_kb')}) | |",
    ]
    lines += ["", *breakdown_table([r[MARKED] for r in results], payload_sizes(config.program(MARKED)), timing_note)]
    lines += ["", "Times are the test driver's: from its start of the program, and from when it first saw a "
              "window (it looks every 2 ms). The baseline shows its box as soon as its window is up, so its "
              "window-to-box time is what showing a message box costs on this route. Processor time is "
              f"counted in clock ticks of {1000 / os.sysconf('SC_CLK_TCK'):g} ms. The compressed deck "
              f"({COMPRESSED}: the product's files as LZMA streams, in the stub with the decoder) runs last "
              "in each round, played as the installer is, into an emptied graphics folder; its installer's "
              "size beside the peer's is in the compressed packing table below."]
    if emulated:
        lines += ["Under emulation qemu translates each piece of code the first time it runs: the times are "
                  "qemu's more than the programs', and its translations count in both programs' memory."]
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=8,
                        help="measured rounds (default 8: an even number lets each program run first as often)")
    parser.add_argument("--warmup", type=int, default=1, help="rounds run first and not counted (default 1)")
    args = parser.parse_args()
    if args.rounds < 1 or args.warmup < 0:
        parser.error("--rounds must be at least 1 and --warmup at least 0")

    session = winelab.Session.get()
    config = session.config
    for name in (INSTALLER, BASELINE, MARKED, COMPRESSED, CHECK_TIMING):
        if config.program(name) is None:
            sys.exit(f"bench: {name} is not built in {config.win_build}; run scripts/build.sh")
    # Without the installer's manifest the baseline's box would use other common controls and
    # another DPI mode, and the difference would be charged to the installer.
    if len({manifest(config.program(name)) for name in (INSTALLER, BASELINE)}) != 1:
        sys.exit(f"bench: {BASELINE} does not carry {INSTALLER}'s application manifest; rebuild it")
    folder = os.path.join(config.build_root, "bench")
    output = os.path.join(folder, "transcripts")
    os.makedirs(output, exist_ok=True)

    results = measure(session, args.rounds, args.warmup, output)
    check = check_timing(session)
    text = table(results, session, args.rounds, args.warmup, check)
    art = os.path.join(config.build_root, "native", "tools", "art", "out")
    figures = {}
    text += packing.table(os.path.join(config.build_root, "native", "packer", "tazelpack"),
                          os.path.join(REPO, "resources", "TazelDeck.package"), art, figures=figures)
    text += webpage.table(os.path.join(config.build_root, "web", "site"), art, figures["makensis_compressed_s"])
    with open(os.path.join(folder, "results.md"), "w", encoding="utf-8") as f:
        f.write(text)
    with open(os.path.join(folder, "results.json"), "w", encoding="utf-8") as f:
        json.dump({"route": route_of(session)[0], "rounds": results, "check": check}, f, indent=1)
    print(text)
    print(f"bench: written to {folder}/results.md (and each round's figures to results.json)", file=sys.stderr)


if __name__ == "__main__":
    main()
