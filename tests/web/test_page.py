"""The package maker's page in headless chromium, as a publisher uses it: the deck from a folder,
chosen or dropped, makes tazelpack's very bytes, raw and compressed, on a cross-origin isolated
page (threads) and on one that is not (one thread), while a timer on the page keeps running; a face
package dropped as files and described through the form equals tazelpack's from the description
the form shows, and the preview shows its picture's pixels; bad descriptions are told in
tazelpack's words with their lines, and make nothing; and no request leaves the page's origin,
which goes on working once its server is gone."""

import base64
import json
import os
import pathlib
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

# Debian's python3-selenium, whichever Python runs the tests.
sys.path.append("/usr/lib/python3/dist-packages")
from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.support.select import Select  # noqa: E402

HERE = pathlib.Path(__file__).resolve().parent
REPO = HERE.parents[1]
sys.path.insert(0, str(REPO / "scripts" / "lib"))
from pageserver import PageServer  # noqa: E402

BUILD = pathlib.Path(os.environ["TAZEL_WIN_BUILD_ROOT"])
ART = pathlib.Path(os.environ["TAZEL_ART_DIR"])
OUTPUT = pathlib.Path(os.environ.get("TAZEL_WEB_OUTPUT", tempfile.gettempdir()))
SITE = BUILD / "web" / "site"
PACKER = BUILD / "native" / "packer" / "tazelpack"
DECK = ["Tazel.dek"] + [f"Tazel{i}.cbx" for i in range(7)]
FACES = ["Tazelfac"] + [f"Face{i}.cbx" for i in range(4)]
PUBLISHER = REPO / "tests" / "packages" / "publisher"
WAIT = 60
LOCAL = "http://127.0.0.1"


def png(width, height, pixel):
    """A PNG of 8-bit RGB pixels, pixel(x, y) -> (r, g, b)."""
    rows = b"".join(b"\0" + bytes(c for x in range(width) for c in pixel(x, y)) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


def pattern(x, y):
    return (x * 255 // 150, y * 255 // 95, (x * 7 + y * 13) & 255)


def tazelpack(*arguments, cwd=None):
    return subprocess.run([str(PACKER), *map(str, arguments)], capture_output=True, text=True, cwd=cwd, timeout=120)


class NetLog:
    """Chromium's log of every request it starts, from any page, worker or its own background
    services, read as it grows: an event a line."""

    def __init__(self, path):
        self.path = path
        self.lines_read = 0
        self.start_job = None

    def requests(self):
        """(url, initiator, isolation key) of the requests started since the last call."""
        with open(self.path, encoding="utf-8") as f:
            lines = f.read().split("\n")
        if self.start_job is None:
            constants = json.loads(lines[0].removeprefix('{"constants":').rstrip(","))
            self.start_job = constants["logEventTypes"]["URL_REQUEST_START_JOB"]
        found = []
        # The last line may be half written.
        complete = len(lines) - 1
        for line in lines[max(self.lines_read, 2):complete]:
            event = json.loads(line.rstrip(","))
            params = event.get("params", {})
            if event["type"] == self.start_job and "url" in params:
                found.append((params["url"], params.get("initiator", ""), params.get("network_isolation_key", "")))
        self.lines_read = max(self.lines_read, complete)
        return found


class Browser:
    """Headless chromium with a fresh profile, its downloads in a folder of the test's, and its
    net log. The machine's network is closed: Chromium's own background connections are turned
    off, which would otherwise fail loudly."""

    def __init__(self, work):
        self.downloads = work / "downloads"
        self.downloads.mkdir()
        self.netlog = NetLog(work / "netlog.json")
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                         "--disable-component-update", "--disable-sync", "--no-first-run",
                         "--force-device-scale-factor=1", "--window-size=1100,1400",
                         f"--user-data-dir={work / 'profile'}", f"--log-net-log={self.netlog.path}"):
            options.add_argument(argument)
        options.add_experimental_option("prefs", {"download.default_directory": str(self.downloads),
                                                  "download.prompt_for_download": False})
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)

    def close(self):
        self.driver.quit()

    def js(self, script, *arguments):
        return self.driver.execute_script(script, *arguments)

    def wait(self, script, what, timeout=WAIT):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            value = self.js(script)
            if value:
                return value
            time.sleep(0.02)
        raise AssertionError(f"the page never {what}: {self.js('return document.body.innerText')[:3000]}")

    def open(self, server):
        self.driver.get(server.url)
        self.wait("return document.documentElement.dataset.ready", "became ready")

    def element(self, id_):
        return self.driver.find_element("id", id_)

    def text(self, id_):
        return self.element(id_).text

    def page_requests(self):
        """The URLs the pages on 127.0.0.1 and their workers requested since the last call, and the
        pages themselves. Chromium's own requests (its services', such as the autofill server's
        about a page's form) are started by no origin."""
        return [url for url, initiator, _key in self.netlog.requests()
                if initiator.startswith(LOCAL) or url.startswith(LOCAL)]

    def make(self):
        """Makes the installer and downloads it: its bytes, and the times the page's own timer
        ticked meanwhile (every 20 ms), the progress the page showed, and how long it took."""
        for old in self.downloads.iterdir():
            old.unlink()
        self.js("window.testTicks = []; window.testTimer = setInterval(() => testTicks.push(performance.now()), 20);"
                "tazelPage.lastPack = null;")
        self.element("make").click()
        shown = set()
        deadline = time.monotonic() + WAIT
        while not self.js("return tazelPage.lastPack") and time.monotonic() < deadline:
            value = self.js("const bar = document.getElementById('progress');"
                            "return bar.hidden || !bar.hasAttribute('value') ? null : bar.value")
            if value is not None:
                shown.add(value)
            time.sleep(0.03)
        made = self.wait("return tazelPage.lastPack", "made the installer")
        ticks = self.js("clearInterval(testTimer); return testTicks")
        name = self.element("download").get_attribute("download")
        self.element("download").click()
        target = self.downloads / name
        deadline = time.monotonic() + WAIT
        while not (target.exists() and target.stat().st_size == made["size"]) and time.monotonic() < deadline:
            time.sleep(0.05)
        return target.read_bytes(), ticks, shown, made

    def drop(self, *paths):
        """Drops files or folders on the page, as a publisher drags them there."""
        for kind in ("dragEnter", "dragOver", "drop"):
            self.driver.execute_cdp_cmd("Input.dispatchDragEvent", {"type": kind, "x": 300, "y": 250, "data": {
                "items": [], "files": [str(path) for path in paths], "dragOperationsMask": 1}})

    def set_description(self, text):
        self.js("const area = document.getElementById('description'); area.value = arguments[0];"
                "area.dispatchEvent(new Event('input'));", text)

    def checked(self):
        """Waits for the checks of what was last typed, and gives the problems as the page lists them."""
        self.wait("return tazelPage.settled()", "checked the description")
        return self.js("return [...document.querySelectorAll('#problems li')].map(li => "
                       "[Number(li.dataset.line), li.querySelector('.text').textContent.trim()])")


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = pathlib.Path(tempfile.mkdtemp(prefix="tazel-web-"))
        cls.isolated = PageServer(str(SITE), isolated=True)
        cls.plain = PageServer(str(SITE), isolated=False)
        cls.browser = Browser(cls.work)
        cls.servers = []
        # The deck's folder, as a publisher keeps it: the description beside its files.
        cls.deck = cls.work / "deck"
        cls.deck.mkdir()
        for name in DECK:
            shutil.copy(ART / name, cls.deck / name)
        shutil.copy(REPO / "resources" / "TazelDeck.package", cls.deck / "TazelDeck.package")

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        cls.isolated.close()
        cls.plain.close()
        shutil.rmtree(cls.work, ignore_errors=True)

    def tearDown(self):
        # Whatever a test did, the page requested nothing beyond its own origin.
        origins = (self.isolated.url, self.plain.url, *self.servers)
        self.assertEqual([url for url in self.browser.page_requests() if not url.startswith(origins)], [])

    def installer_of(self, description_text, name, sources):
        """tazelpack's installer of the description, written beside its sources."""
        description = pathlib.Path(sources) / "made.package"
        description.write_text(description_text, encoding="utf-8")
        out = self.work / "tazelpack"
        shutil.rmtree(out, ignore_errors=True)
        made = tazelpack(description, "--out", out)
        description.unlink()
        self.assertEqual(made.returncode, 0, made.stderr)
        return (out / name).read_bytes()

    def test_deck_from_a_folder_is_tazelpacks_raw_and_compressed_with_threads_or_without(self):
        browser = self.browser
        for server, threads in ((self.isolated, True), (self.plain, False)):
            with self.subTest(threads=threads):
                browser.open(server)
                self.assertEqual(browser.js("return crossOriginIsolated"), threads)
                # Chosen, or dropped.
                if threads:
                    browser.element("pick-folder").send_keys(str(self.deck))
                else:
                    browser.drop(self.deck)
                browser.wait("return !document.getElementById('make').disabled", "took the deck's folder")
                self.assertEqual(browser.element("description").get_attribute("value"),
                                 (self.deck / "TazelDeck.package").read_text())
                raw, _ticks, _shown, _made = browser.make()
                self.assertTrue(raw == self.installer_of((self.deck / "TazelDeck.package").read_text(), "TazelDeck.exe",
                                                         self.deck), "the raw deck differs")

                text = (self.deck / "TazelDeck.package").read_text().replace("[files]", "compression = lzma\n\n[files]")
                browser.set_description(text)
                self.assertEqual(browser.checked(), [])
                compressed, ticks, shown, made = browser.make()
                self.assertTrue(compressed == self.installer_of(text, "TazelDeck.exe", self.deck),
                                "the compressed deck differs")
                self.assertLess(len(compressed), len(raw) // 2)
                # The page's own thread stayed free: its timer ticked all along, never held up for
                # anything like the compression's time.
                gaps = [b - a for a, b in zip(ticks, ticks[1:])]
                self.assertGreater(made["pageMs"], 300)
                self.assertGreater(len(ticks), made["pageMs"] / 20 / 4, ticks)
                self.assertLess(max(gaps), made["pageMs"] / 3, gaps)
                self.assertTrue([value for value in shown if 0 < value < 100], f"no progress shown: {shown}")

    def test_face_package_through_the_form_is_tazelpacks_from_the_description_it_shows(self):
        browser = self.browser
        files = self.work / "faces"
        files.mkdir()
        for name, source in zip(FACES, DECK):
            shutil.copy(ART / source, files / name)
        shutil.copy(PUBLISHER / "Icon.ico", files / "Icon.ico")
        (files / "Window.png").write_bytes(png(151, 96, pattern))
        browser.open(self.isolated)
        browser.drop(*sorted(files.iterdir()))
        browser.wait("return document.querySelectorAll('#file-rows tr').length === 7", "listed the files")
        # The one name that makes a kind comes first, by the installer's own rule.
        rows = lambda: browser.js("return [...document.querySelectorAll('#file-rows tr')].map(r => "  # noqa: E731
                                  "[r.querySelector('input').value, r.querySelector('select').value])")
        self.assertEqual(rows()[0], ["Tazelfac", "Tazelfac"])
        for name in ("Window.png", "Icon.ico"):
            index = [row[1] for row in rows()].index(name)
            browser.driver.find_element("css selector", f"[aria-label='Remove file {index + 1}']").click()
        browser.element("key-installer-name").send_keys("TazelFaces")
        browser.element("key-display-name").send_keys("Tazel Faces")
        browser.element("key-version").send_keys("1.2")
        Select(browser.element("key-icon")).select_by_value("Icon.ico")
        Select(browser.element("key-window-picture")).select_by_value("Window.png")
        self.assertEqual(browser.checked(), [])
        self.assertIn("makes a face package", browser.text("kind"))
        written = browser.text("written") + "\n"
        self.assertIn("window-picture = Window.png", written)

        # The preview: the picture's own pixels in the picture's box, the names as the player reads them.
        picture = json.loads(browser.js("const l = tazelPage.layout; return JSON.stringify(l.picture)"))
        pixels = base64.b64decode(browser.js(
            "const b = arguments[0]; const data = document.getElementById('window-canvas').getContext('2d')"
            ".getImageData(b.left, b.top, 151, 96).data; let s = '';"
            "for (let i = 0; i < data.length; i++) s += String.fromCharCode(data[i]); return btoa(s);", picture))
        expected = bytes(c for y in range(96) for x in range(151) for c in (*pattern(x, y), 255))
        self.assertTrue(pixels == expected, "the preview's picture box does not show the picture's pixels")
        self.assertIn("Tazel Faces Installation", browser.element("window-canvas").get_attribute("aria-label"))
        self.assertEqual((browser.text("window-title"), browser.text("box-title"), browser.text("box-text")),
                         ("Ombrix Support Files", "Success!", "Tazel Faces Installed!"))

        installer, _ticks, _shown, _made = browser.make()
        self.assertEqual(browser.element("download").get_attribute("download"), "TazelFaces.exe")
        self.assertTrue(installer == self.installer_of(written, "TazelFaces.exe", files),
                        "the form's installer differs from tazelpack's")

        # The README's picture of the page (docs/make-screenshots.sh).
        OUTPUT.mkdir(parents=True, exist_ok=True)
        shot = browser.driver.execute_cdp_cmd("Page.captureScreenshot", {"captureBeyondViewport": True, "clip": {
            "x": 0, "y": 0, "width": 1100, "height": browser.js("return document.body.scrollHeight"), "scale": 1}})
        (OUTPUT / "web-page.png").write_bytes(base64.b64decode(shot["data"]))

    def test_bad_descriptions_are_told_in_tazelpacks_words_with_their_lines_and_make_nothing(self):
        browser = self.browser
        folder = self.work / "bad"
        shutil.copytree(self.deck, folder)
        browser.open(self.isolated)
        browser.element("pick-folder").send_keys(str(folder))
        browser.wait("return !document.getElementById('make').disabled", "took the deck's folder")
        bad = {
            "several": "installer-name = Tazel:Deck\ndisplay-name = Tazel Deck\nsize = 3\n\n[files]\n"
                       "Tazel.dek = Tazel.dek\nCON.cbx = Tazel0.cbx\nTazel1.cbx = missing.cbx\n",
            "kind": "installer-name = TazelDeck\ndisplay-name = Tazel Deck\nversion = 2.0.70000\n\n[files]\n"
                    "Tazel.dek = Tazel.dek\nTazel0.cbx = Tazel0.cbx\n",
        }
        for case, text in bad.items():
            with self.subTest(case):
                browser.set_description(text)
                shown = browser.checked()
                # The page holds its own copy of the folder; tazelpack reads the same text from the disk.
                (folder / "TazelDeck.package").write_text(text, encoding="utf-8")
                told = tazelpack("--check", "TazelDeck.package", cwd=folder)
                self.assertEqual(told.returncode, 1)
                expected = []
                for line in told.stderr.splitlines()[:-1]:
                    _name, number, problem = line.split(":", 2)
                    expected.append([int(number), problem.strip()])
                self.assertGreater(len(expected), 1)
                self.assertEqual(shown, expected)
                self.assertTrue(browser.js("return document.getElementById('make').disabled"))
                # Even asked past the disabled button, the packer refuses it as tazelpack does.
                browser.js("document.getElementById('make').disabled = false")
                browser.element("make").click()
                browser.wait("return !document.getElementById('refusal').hidden", "refused the description")
                refused = tazelpack("TazelDeck.package", "--out", self.work / "never", cwd=folder)
                self.assertEqual(refused.returncode, 1)
                self.assertEqual(browser.text("refusal"), refused.stderr.strip())
                self.assertTrue(browser.js("return document.getElementById('download-row').hidden"))
                self.assertEqual(list(browser.downloads.iterdir()), [])

    def test_nothing_leaves_the_origin_and_the_page_works_without_its_server(self):
        browser = self.browser
        server = PageServer(str(SITE), isolated=True)
        self.servers.append(server.url)
        try:
            browser.open(server)
        finally:
            server.close()
        # The log sees the worker's and the module's threads' requests too.
        requested = browser.page_requests()
        self.assertEqual([url for url in requested if not url.startswith(server.url)], [])
        loaded = [url[len(server.url):] for url in requested]
        for own in ("", "page.js", "worker.js", "tazelpack-web.js", "tazelpack-web.wasm", "tazelpack-web.worker.js"):
            self.assertIn(own, loaded)
        self.assertEqual(sorted(set(loaded)), sorted({path.lstrip("/") for path in server.requests}))
        # The page's policy refuses any other origin, even this machine's: nothing is sent.
        refused = browser.driver.execute_async_script(
            "const done = arguments[0]; let seen = null;"
            "document.addEventListener('securitypolicyviolation', (e) => seen = e.violatedDirective);"
            "fetch('http://127.0.0.1:9/elsewhere')"
            ".then(() => done('fetched'), () => setTimeout(() => done(seen), 100));")
        self.assertEqual(refused, "connect-src")
        self.assertEqual(browser.page_requests(), [])
        # Its server gone, the page still takes a folder and makes the installer.
        browser.element("pick-folder").send_keys(str(self.deck))
        browser.wait("return !document.getElementById('make').disabled", "took the deck's folder offline")
        installer, _ticks, _shown, _made = browser.make()
        self.assertTrue(installer == self.installer_of((self.deck / "TazelDeck.package").read_text(), "TazelDeck.exe",
                                                       self.deck))
        self.assertEqual(browser.page_requests(), [])


if __name__ == "__main__":
    unittest.main()
