"""Packing beside the peer: the time and peak memory of writing the Tazel Deck's installer from its
eight files, tazelpack against NSIS's makensis with compression off (a general-purpose installer
builder that likewise copies a prebuilt stub and writes the data behind it). Both run natively,
taking turns at going first; a fresh output folder each time."""

import os
import shutil
import statistics
import subprocess
import tempfile
import time

DECK = ["Tazel.dek"] + [f"Tazel{i}.cbx" for i in range(7)]
MB = 1_000_000
RATIO_LIMIT = 1.0
MEMORY_ABOVE_PAYLOAD_LIMIT = 16 * MB

NSIS_SCRIPT = """Unicode true
SetCompress off
RequestExecutionLevel user
OutFile "{out}"
InstallDir "$TEMP\\TazelDeck"
Section
SetOutPath "$INSTDIR"
{files}
SectionEnd
"""


def timed(command):
    """(seconds, peak resident set in bytes) of one run, which must succeed. GNU time reads the peak:
    a process keeps the peak of what it was before its exec, so a child of this Python, and
    wait4's figure for it, would report Python's own."""
    start = time.perf_counter()
    result = subprocess.run(["/usr/bin/time", "-f", "%M", *command], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    seconds = time.perf_counter() - start
    if result.returncode != 0:
        raise RuntimeError(f"{command[0]} failed: {result.stderr}")
    return seconds, int(result.stderr.split()[-1]) * 1024


def measure(packer, description, art, rounds):
    """{name: [(seconds, peak bytes), ...]} over `rounds` rounds after one warm-up."""
    work = tempfile.mkdtemp(prefix="tazel-bench-packing-")
    try:
        for name in DECK:
            shutil.copy(os.path.join(art, name), work)
        script = os.path.join(work, "deck.nsi")
        with open(script, "w", encoding="utf-8") as f:
            f.write(NSIS_SCRIPT.format(out=os.path.join(work, "nsis", "TazelDeck.exe"),
                                       files="\n".join(f'File "{os.path.join(work, n)}"' for n in DECK)))
        commands = {
            "tazelpack": [packer, description, "--sources", work, "--out", os.path.join(work, "ours")],
            "makensis": ["makensis", "-V1", "-NOCD", script],
        }
        results = {name: [] for name in commands}
        for index in range(rounds + 1):
            order = list(commands) if index % 2 == 0 else list(reversed(commands))
            for name in order:
                shutil.rmtree(os.path.join(work, "ours"), ignore_errors=True)
                shutil.rmtree(os.path.join(work, "nsis"), ignore_errors=True)
                os.makedirs(os.path.join(work, "nsis"))
                measured = timed(commands[name])
                if index > 0:
                    results[name].append(measured)
        return results
    finally:
        shutil.rmtree(work, ignore_errors=True)


def table(packer, description, art, rounds=20):
    payload = sum(os.path.getsize(os.path.join(art, name)) for name in DECK)
    results = measure(packer, description, art, rounds)

    def median(name, index):
        return statistics.median(r[index] for r in results[name])

    def spread(name, index, fmt):
        values = sorted(r[index] for r in results[name])
        return f"{fmt(statistics.median(values))} [{fmt(values[0])} to {fmt(values[-1])}]"

    ms = lambda s: f"{s * 1000:.1f}"  # noqa: E731
    mb = lambda b: f"{b / MB:.1f}"  # noqa: E731
    ratio = median("tazelpack", 0) / median("makensis", 0)
    memory_above = median("tazelpack", 1) - payload
    version = subprocess.run(["makensis", "-VERSION"], capture_output=True, text=True).stdout.strip()
    return "\n".join([
        "",
        f"Packing the deck's installer from its eight files ({payload:,} bytes), natively: tazelpack against "
        f"makensis {version} with SetCompress off, {rounds} rounds after 1 warm-up, taking turns at going first",
        "",
        "| measure | tazelpack | makensis | target | |",
        "|---|---|---|---|---|",
        f"| time to write the installer, ms | {spread('tazelpack', 0, ms)} | {spread('makensis', 0, ms)} "
        f"| ratio at most {RATIO_LIMIT:g} (now {ratio:.2f}) | {'met' if ratio <= RATIO_LIMIT else 'NOT MET'} |",
        f"| peak resident set, MB | {spread('tazelpack', 1, mb)} | {spread('makensis', 1, mb)} "
        f"| at most the payload + 16 (now + {memory_above / MB:.1f}) "
        f"| {'met' if memory_above <= MEMORY_ABOVE_PAYLOAD_LIMIT else 'NOT MET'} |",
        "",
    ])
