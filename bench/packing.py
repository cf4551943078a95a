"""Packing beside the peer: the time and peak memory of writing the Tazel Deck's installer from its
eight files, tazelpack against NSIS's makensis (a general-purpose installer builder that likewise
copies a prebuilt stub and writes the data behind it), twice: with compression off, and with the
files compressed, tazelpack's LZMA against makensis's solid LZMA, where the installer's size is
set beside the peer's too. Both run natively, taking turns at going first; a fresh output folder
each time."""

import os
import shutil
import statistics
import subprocess
import tempfile
import time

DECK = ["Tazel.dek"] + [f"Tazel{i}.cbx" for i in range(7)]
INSTALLER = "TazelDeck.exe"
MB = 1_000_000
RATIO_LIMIT = 1.0
MEMORY_ABOVE_PAYLOAD_LIMIT = 16 * MB

NSIS_SCRIPT = """Unicode true
{compressor}
RequestExecutionLevel user
OutFile "{out}"
InstallDir "$TEMP\\TazelDeck"
Section
SetOutPath "$INSTDIR"
{files}
SectionEnd
"""
NSIS_PLAIN = "SetCompress off"
NSIS_COMPRESSED = "SetCompressor /SOLID lzma"


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


def compressed_description(description, work):
    """The product's description with its files stored compressed, written into the work folder."""
    with open(description, encoding="utf-8") as f:
        head, section, files = f.read().partition("[files]")
    if not section:
        raise RuntimeError(f"{description} has no [files] section")
    path = os.path.join(work, "deck.package")
    with open(path, "w", encoding="utf-8") as f:
        f.write(f"{head}compression = lzma\n\n{section}{files}")
    return path


def measure(packer, description, art, rounds, compressed):
    """({name: [(seconds, peak bytes), ...]} over `rounds` rounds after one warm-up,
    {name: bytes of the installer it wrote})."""
    work = tempfile.mkdtemp(prefix="tazel-bench-packing-")
    try:
        for name in DECK:
            shutil.copy(os.path.join(art, name), work)
        if compressed:
            description = compressed_description(description, work)
        script = os.path.join(work, "deck.nsi")
        with open(script, "w", encoding="utf-8") as f:
            f.write(NSIS_SCRIPT.format(compressor=NSIS_COMPRESSED if compressed else NSIS_PLAIN,
                                       out=os.path.join(work, "nsis", INSTALLER),
                                       files="\n".join(f'File "{os.path.join(work, n)}"' for n in DECK)))
        commands = {
            "tazelpack": [packer, description, "--sources", work, "--out", os.path.join(work, "ours")],
            "makensis": ["makensis", "-V1", "-NOCD", script],
        }
        outputs = {"tazelpack": os.path.join(work, "ours", INSTALLER),
                   "makensis": os.path.join(work, "nsis", INSTALLER)}
        results = {name: [] for name in commands}
        sizes = {}
        for index in range(rounds + 1):
            order = list(commands) if index % 2 == 0 else list(reversed(commands))
            for name in order:
                shutil.rmtree(os.path.join(work, "ours"), ignore_errors=True)
                shutil.rmtree(os.path.join(work, "nsis"), ignore_errors=True)
                os.makedirs(os.path.join(work, "nsis"))
                measured = timed(commands[name])
                sizes[name] = os.path.getsize(outputs[name])
                if index > 0:
                    results[name].append(measured)
        return results, sizes
    finally:
        shutil.rmtree(work, ignore_errors=True)


def table(packer, description, art, rounds=20, figures=None):
    """The tables; `figures`, when given, gets makensis's median compressed time in seconds
    (makensis_compressed_s), which the page's packing is set beside."""
    payload = sum(os.path.getsize(os.path.join(art, name)) for name in DECK)
    plain, _sizes = measure(packer, description, art, rounds, compressed=False)
    compressed, sizes = measure(packer, description, art, rounds, compressed=True)
    if figures is not None:
        figures["makensis_compressed_s"] = statistics.median(r[0] for r in compressed["makensis"])

    def median(results, name, index):
        return statistics.median(r[index] for r in results[name])

    def spread(results, name, index, fmt):
        values = sorted(r[index] for r in results[name])
        return f"{fmt(statistics.median(values))} [{fmt(values[0])} to {fmt(values[-1])}]"

    def met(condition):
        return "met" if condition else "NOT MET"

    ms = lambda s: f"{s * 1000:.1f}"  # noqa: E731
    mb = lambda b: f"{b / MB:.1f}"  # noqa: E731
    ratio = median(plain, "tazelpack", 0) / median(plain, "makensis", 0)
    memory_above = median(plain, "tazelpack", 1) - payload
    compressed_ratio = median(compressed, "tazelpack", 0) / median(compressed, "makensis", 0)
    size_above = sizes["tazelpack"] - sizes["makensis"]
    version = subprocess.run(["makensis", "-VERSION"], capture_output=True, text=True).stdout.strip()
    return "\n".join([
        "",
        f"Packing the deck's installer from its eight files ({payload:,} bytes), natively: tazelpack against "
        f"makensis {version} with SetCompress off, {rounds} rounds after 1 warm-up, taking turns at going first",
        "",
        "| measure | tazelpack | makensis | target | |",
        "|---|---|---|---|---|",
        f"| time to write the installer, ms | {spread(plain, 'tazelpack', 0, ms)} | {spread(plain, 'makensis', 0, ms)} "
        f"| ratio at most {RATIO_LIMIT:g} (now {ratio:.2f}) | {met(ratio <= RATIO_LIMIT)} |",
        f"| peak resident set, MB | {spread(plain, 'tazelpack', 1, mb)} | {spread(plain, 'makensis', 1, mb)} "
        f"| at most the payload + 16 (now + {memory_above / MB:.1f}) "
        f"| {met(memory_above <= MEMORY_ABOVE_PAYLOAD_LIMIT)} |",
        "",
        f"Packing it compressed, natively: tazelpack with the product's description and compression = lzma "
        f"against makensis {version} with SetCompressor /SOLID lzma, {rounds} rounds after 1 warm-up, "
        "taking turns at going first",
        "",
        "| measure | tazelpack | makensis | target | |",
        "|---|---|---|---|---|",
        f"| time to write the installer, ms | {spread(compressed, 'tazelpack', 0, ms)} "
        f"| {spread(compressed, 'makensis', 0, ms)} "
        f"| ratio at most {RATIO_LIMIT:g} (now {compressed_ratio:.2f}) | {met(compressed_ratio <= RATIO_LIMIT)} |",
        f"| peak resident set, MB | {spread(compressed, 'tazelpack', 1, mb)} | {spread(compressed, 'makensis', 1, mb)} "
        "| | |",
        f"| the installer's size, bytes | {sizes['tazelpack']:,} | {sizes['makensis']:,} "
        f"| at most makensis's (now {size_above:+,}) | {met(size_above <= 0)} |",
        "",
    ])
