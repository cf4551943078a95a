"""The package maker's page beside the native packers: packing the deck in the page (raw, and with
compression = lzma, whose time is set beside makensis's solid LZMA from the same run), the page's
weight over the wire gzipped, and the time from navigation to ready. Debian's chromium, headless,
on the page served from 127.0.0.1 (scripts/lib/pageserver.py): cross-origin isolated, where the
page compresses on threads, and without the isolation headers, where it runs on one.

Each load is a fresh one: the browser's cache is off, so every file comes over the wire again.
A packing time is the page's own: from asking its worker to the download being offered. The first
packing of a page is apart from the rest: the browser compiles the module's hot code better as
it runs, so a first packing can be slower."""

import gzip
import os
import shutil
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(REPO, "scripts", "lib"))
sys.path.append("/usr/lib/python3/dist-packages")

from pageserver import PageServer  # noqa: E402

DECK = ["Tazel.dek"] + [f"Tazel{i}.cbx" for i in range(7)]
KB = 1000
WEIGHT_LIMIT = 400 * KB
READY_LIMIT_MS = 1000
RAW_LIMIT_MS = 100
RATIO_LIMIT = 1.0


def browser(work):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--no-first-run", "--window-size=1100,1400",
                     f"--user-data-dir={os.path.join(work, 'profile')}"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.execute_cdp_cmd("Network.enable", {})
    driver.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": True})
    return driver


def wait(driver, script, timeout=120):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = driver.execute_script(script)
        if value:
            return value
        time.sleep(0.01)
    raise RuntimeError(f"the page did not answer: {script}")


def load(driver, server):
    """ms from navigation to the page's ready, and the paths it requested."""
    del server.requests[:]
    driver.get(server.url)
    ready = wait(driver, "return document.documentElement.dataset.ready && tazelPage.readyAt")
    # The pool of the module's threads is loaded before the page says it is ready.
    return ready, list(server.requests)


def pack(driver, rounds):
    """(first, [the rest]) of the page's packing times, ms."""
    times = []
    for _ in range(rounds + 1):
        driver.execute_script("tazelPage.lastPack = null")
        wait(driver, "return !document.getElementById('make').disabled")
        driver.find_element("id", "make").click()
        times.append(wait(driver, "return tazelPage.lastPack")["pageMs"])
    return times[0], times[1:]


def measure(site, deck, rounds, isolated):
    work = tempfile.mkdtemp(prefix="tazel-bench-web-")
    server = PageServer(site, isolated=isolated)
    driver = browser(work)
    try:
        loads = [load(driver, server) for _ in range(rounds)]
        driver.find_element("id", "pick-folder").send_keys(deck)
        wait(driver, "return !document.getElementById('make').disabled")
        raw = pack(driver, rounds * 2)
        driver.execute_script(
            "const area = document.getElementById('description');"
            "area.value = area.value.replace('[files]', 'compression = lzma\\n\\n[files]');"
            "area.dispatchEvent(new Event('input'));")
        wait(driver, "return tazelPage.settled() && document.getElementById('summary').textContent.includes('LZMA')")
        compressed = pack(driver, rounds)
        threads = driver.execute_script("return tazelPage.start.threads")
        return {"ready": [ms for ms, _ in loads], "requests": loads[-1][1], "raw": raw, "compressed": compressed,
                "threads": threads}
    finally:
        driver.quit()
        server.close()
        shutil.rmtree(work, ignore_errors=True)


def weight(site, requests):
    """(bytes, gzipped bytes) of the files a load requested, each gzipped as a static host sends it."""
    raw = zipped = 0
    for path in sorted(set(requests)):
        name = path.lstrip("/").split("?")[0] or "index.html"
        with open(os.path.join(site, name), "rb") as f:
            data = f.read()
        raw += len(data)
        zipped += len(gzip.compress(data, compresslevel=6, mtime=0))
    return raw, zipped


def table(site, art, makensis_compressed_s=None, rounds=5):
    if not os.path.isfile(os.path.join(site, "index.html")):
        return f"\nThe package maker's page is not built in {site} (it needs emscripten): not measured.\n"
    deck = tempfile.mkdtemp(prefix="tazel-bench-deck-")
    try:
        for name in DECK:
            shutil.copy(os.path.join(art, name), deck)
        shutil.copy(os.path.join(REPO, "resources", "TazelDeck.package"), deck)
        isolated = measure(site, deck, rounds, True)
        plain = measure(site, deck, rounds, False)
    finally:
        shutil.rmtree(deck, ignore_errors=True)

    ms = "{:.0f}".format

    def spread(values):
        values = sorted(values)
        return f"{ms(statistics.median(values))} [{ms(values[0])} to {ms(values[-1])}]"

    def met(condition):
        return "met" if condition else "NOT MET"

    raw_bytes, zipped = weight(site, isolated["requests"])
    plain_raw, plain_zipped = weight(site, plain["requests"])
    ready = statistics.median(isolated["ready"])
    raw_ms = statistics.median(isolated["raw"][1])
    compressed_s = statistics.median(isolated["compressed"][1]) / 1000
    if makensis_compressed_s:
        ratio = compressed_s / makensis_compressed_s
        ratio_cells = (f"ratio to makensis's {makensis_compressed_s * 1000:.0f} ms at most {RATIO_LIMIT:g} "
                       f"(now {ratio:.2f}) | {met(ratio <= RATIO_LIMIT)}")
        plain_ratio = f"(ratio {statistics.median(plain['compressed'][1]) / 1000 / makensis_compressed_s:.2f})"
    else:
        ratio_cells = "makensis not measured in this run |"
        plain_ratio = ""
    cores = os.cpu_count()
    return "\n".join([
        "",
        f"The package maker's page in Debian's chromium (headless, {cores} cores), served from 127.0.0.1, "
        f"the browser's cache off: {rounds} loads, then the deck packed from its folder, raw {rounds * 2} times "
        f"and compressed {rounds} times, each after a first packing shown apart; median [lowest to highest]",
        "",
        "| measure | cross-origin isolated (threads) | not isolated (one thread) | target | |",
        "|---|---|---|---|---|",
        f"| the page over the wire, gzipped, bytes (as sent: {raw_bytes:,} and {plain_raw:,}) | {zipped:,} "
        f"| {plain_zipped:,} | at most {WEIGHT_LIMIT:,} "
        f"| {met(zipped <= WEIGHT_LIMIT and plain_zipped <= WEIGHT_LIMIT)} |",
        f"| navigation to ready, ms | {spread(isolated['ready'])} | {spread(plain['ready'])} "
        f"| at most {READY_LIMIT_MS:,} | {met(ready <= READY_LIMIT_MS)} |",
        f"| packing the deck raw, ms (the first: {ms(isolated['raw'][0])} and {ms(plain['raw'][0])}) "
        f"| {spread(isolated['raw'][1])} | {spread(plain['raw'][1])} | at most {RAW_LIMIT_MS} "
        f"| {met(raw_ms <= RAW_LIMIT_MS)} |",
        f"| packing it with compression = lzma, ms (the first: {ms(isolated['compressed'][0])} and "
        f"{ms(plain['compressed'][0])}) | {spread(isolated['compressed'][1])} "
        f"| {spread(plain['compressed'][1])} {plain_ratio} | {ratio_cells} |",
        "",
    ])


if __name__ == "__main__":
    build = os.environ.get("TAZEL_BUILD_DIR", os.path.join(REPO, "build"))
    print(table(os.path.join(build, "web", "site"), os.path.join(build, "native", "tools", "art", "out")))
