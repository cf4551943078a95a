"""The installer's window as the user sees it during its pause: every element where the layout puts
it and in its colours, at the usual screen scale and at 150 %, and still so after the window has
been moved, after another window covered it and went away, and after it was told it now stands on
a monitor of another scale. Its four text lines are also there for a screen reader.

The screenshots stay in each scenario's output folder. With TAZEL_E2E_DOCS naming a folder, the
96-DPI scenario also writes window.png and message-box.png there for the documentation.
"""

import os
import struct
import sys
import time
import unittest

from expected import DEFAULT_FOLDER, DEFAULT_MISSING, EXIT_CANCELLED, not_found_title
from scenario import ScenarioCase, resources
from winelab import REPO

sys.path.insert(0, os.path.join(REPO, "tests", "build"))
from pe import parse_version_block  # noqa: E402
from screen import (DESIGN_DPI, PANEL_WHITE, PICTURE_RESOURCE, PICTURE_TWIPS, WINDOW_GREY, Box, Difference, Image,
                    Layout, box_at, classify, decode_jpeg, grab, resized)

# How long a screenshot may wait for the window to be drawn; the pause lasts two seconds.
SETTLE_S = 0.6
# Under emulation qemu translates the drawing code the first time it runs.
SETTLE_EMULATED_S = 1.5

# The prefix draws Arial as Liberation Sans. In its bold face the capitals' tops stand this far
# below the top of the text cell, in ems: ascent 1854 less cap height 1409, of 2048 units.
CAP_TOP_EM = (1854 - 1409) / 2048
# Drawn at their size, anti-aliased glyph edges are about one pixel wide; an enlarged smaller
# rendering widens them with the enlargement (1.5 at 144 DPI).
SHARP_EDGE_LIMIT = 1.25

# The picture as Wine decodes it against ImageMagick's decoding (the figures: tests/e2e/README.md):
# (mean absolute difference, largest channel difference of PICTURE_MOST of the pixels)
PICTURE_LIMITS = {"own size": (5.0, 32), "scaled": (5.5, 40)}
PICTURE_MOST = 0.98

# What a screen reader is to read, in order: the four lines, each a static text.
READ_ALOUD = ["Ombrix", "by Quennaby", "Support File Installation ", "Tazel Deck Installation"]
SS_TYPEMASK, SS_OWNERDRAW, WS_VISIBLE = 0x1F, 0x0D, 0x10000000
# A text static's role: static text on Windows, a client area under Wine (tests/e2e/README.md).
ROLE_SYSTEM_STATICTEXT, ROLE_SYSTEM_CLIENT = 0x29, 0x0A


def client_box(event):
    return Box(*event["client_origin"], *event["client"])


def rect_box(rect):
    left, top, right, bottom = rect
    return Box(left, top, right - left, bottom - top)


def overlap(a, b):
    return a.left < b.right and b.left < a.right and a.top < b.bottom and b.top < a.bottom


def painted(image, box):
    """Whether the area holds more than one colour: shown is not yet drawn."""
    first = image.at(box.left, box.top)
    return any(image.at(x, y) != first for y in range(box.top, box.bottom, 2) for x in range(box.left, box.right, 2))


def count_in(image, box, colour):
    """How many pixels of `colour` the part of `box` on the screen holds."""
    left, top = max(box.left, 0), max(box.top, 0)
    right, bottom = min(box.right, image.width), min(box.bottom, image.height)
    if right <= left or bottom <= top:
        return 0
    return image.crop(Box(left, top, right - left, bottom - top)).count(colour)


def laid_out(image, client, layout):
    """Whether the panel's far corner stands where `layout` puts it: the window has been drawn at
    that layout, not only moved or enlarged."""
    panel = layout.panel.moved(client.left, client.top)
    return (image.at(panel.right - 1, panel.bottom - 1) == PANEL_WHITE and
            image.at(panel.right, panel.bottom) == WINDOW_GREY)


class WindowScenario(ScenarioCase):
    """Plays the window's pause and checks what it shows, at the layout of DPI on a screen of
    SCREEN_DPI (the same unless said otherwise)."""
    DPI = 96
    SCREEN_DPI = None

    @property
    def screen_dpi(self):
        return self.SCREEN_DPI or self.DPI

    def setUp(self):
        super().setUp()
        self.layout = Layout(self.DPI)
        if self.screen_dpi != DESIGN_DPI:
            self.prefix.import_registry("REGEDIT4\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"
                                        f"\"LogPixels\"=dword:{self.screen_dpi:08x}\n")
        self.shots = {}
        self.taken = {}
        self.picture = None

    # Playing ------------------------------------------------------------------------------------

    def shoot(self, name, ready):
        """A hook that screenshots until `ready(image, run)` holds or the time is up; the last shot
        is the one checked."""
        def hook(_event, run):
            deadline = time.monotonic() + (SETTLE_EMULATED_S if self.session.route.emulated else SETTLE_S)
            while True:
                image = grab(self.session.display.name)
                if ready(image, run) or time.monotonic() > deadline:
                    break
                time.sleep(0.05)
            self.shots[name] = image
            self.taken[name] = time.monotonic()
        return hook

    def play(self, *during_pause, hooks):
        """Shows the window with the default folder missing: the pause, then the question, answered
        with Cancel so that nothing is installed. The hooks' screenshots have to fall into the pause."""
        def window_drawn(image, run):
            self.taken.setdefault("shown", time.monotonic())
            return painted(image, client_box(run.of("window")[0]))

        during = ["window"] + list(hooks)
        hooks = dict(hooks, window=self.shoot("window", window_drawn),
                     box=self.shoot("box", lambda image, run: True))
        try:
            run = self.run_installer("window", "sync=window", *during_pause, "box", "sync=box", "press=cancel",
                                     "exit", hooks=hooks)
        finally:
            self.keep_shots()
        self.assertBox(self.assertOnlyBox(run), not_found_title(DEFAULT_FOLDER), DEFAULT_MISSING,
                       buttons=("OK", "Cancel"))
        self.assertEqual(run.exit_code, EXIT_CANCELLED)
        window = run.of("window")[0]
        self.assertEqual(window["dpi"], self.screen_dpi, "the screen scale did not take")
        self.assertEqual(window["client"], list(Layout(self.screen_dpi).client), "client area in pixels")
        with self.subTest("screenshots taken during the pause"):
            self.assertTakenDuringThePause(run, during)
        return run

    def assertTakenDuringThePause(self, run, names):
        """The question follows the pause. Where it then stands, every earlier shot must show the
        same as the first one, and that must differ from the question's own shot: a program whose
        window cannot be moved or repainted during the pause would otherwise be checked after it."""
        area = rect_box(run.boxes[0]["rect"])
        first = self.shots["window"].crop(area).pixels
        self.assertTrue(first != self.shots["box"].crop(area).pixels, "the question was on screen at once")
        for name in names:
            self.assertTrue(self.shots[name].crop(area).pixels == first, f"the {name} shot shows the question")

    def keep_shots(self):
        """Saves the screenshots beside the transcript, with when each was taken."""
        start = self.taken.get("shown")
        for name, image in self.shots.items():
            image.save_png(os.path.join(self.output, f"{name}-{self.DPI}dpi.png"))
            if start is not None:
                self.record(f"{name}: taken {1000 * (self.taken[name] - start):.0f} ms after the window was found")

    # Checking -----------------------------------------------------------------------------------

    def expected_picture(self):
        if self.picture is None:
            self.picture = self.decode_picture()
        return self.picture

    def decode_picture(self):
        entries = {(kind, name): data for (kind, name, _lang), data in resources(self.installer_path()).items()}
        self.assertIn(PICTURE_RESOURCE, entries, "the executable carries no picture")
        picture = decode_jpeg(entries[PICTURE_RESOURCE])
        # The picture is drawn at its own size at 96 DPI, so its box there is its size.
        self.assertEqual((picture.width, picture.height), box_at(PICTURE_TWIPS, DESIGN_DPI)[2:],
                         "the picture's size does not fit its box")
        box = self.layout.picture
        if (picture.width, picture.height) != (box.width, box.height):
            picture = resized(picture, box.width, box.height)
        return picture

    def assertDrawn(self, screen, client, label):
        """Every pixel of the client area at `client` on the screen: the background's two colours
        where no element is, each text line inside its box, the picture in its box."""
        layout = self.layout
        self.assertEqual((client.width, client.height), layout.client)
        with self.subTest(label, check="client area ends where the frame begins"):
            # Wine draws the frame right around the client area, so the window's grey must stop there.
            beyond = [screen.at(client.right, y) for y in range(client.top, client.bottom)]
            beyond += [screen.at(x, client.bottom) for x in range(client.left, client.right)]
            self.assertNotIn(WINDOW_GREY, beyond)
        image = screen.crop(client)
        inks, stray = classify(image, layout)

        with self.subTest(label, check="background"):
            self.assertEqual(stray[:10], [], f"{len(stray)} pixels are neither background nor text in their "
                                             f"line's box (x, y in the client area, colour)")
        with self.subTest(label, check="panel"):
            panel = layout.panel
            inside = [image.at(panel.right - 1, y) for y in range(panel.top, panel.bottom)]
            inside += [image.at(x, panel.bottom - 1) for x in range(panel.left, panel.right)]
            outside = [image.at(panel.right, y) for y in range(panel.top, panel.bottom)]
            outside += [image.at(x, panel.bottom) for x in range(panel.left, panel.right + 1)]
            self.assertEqual(set(inside), {PANEL_WHITE}, "the panel's last column and row")
            self.assertEqual(set(outside), {WINDOW_GREY}, "the column and row after the panel")
        for line in layout.lines:
            with self.subTest(label, line=line.name):
                self.assertLine(inks[line.name])
        with self.subTest(label, check="picture"):
            self.assertPicture(screen, client)

    def assertLine(self, ink):
        line, box, em = ink.line, ink.line.box, ink.line.em
        self.assertTrue(len(ink), "no text at all")
        self.assertGreaterEqual(ink.exact, em, "hardly any pixel in the text colour itself")
        left, top, right, bottom = ink.bounds()
        height = bottom - top + 1
        self.assertGreaterEqual(right - left + 1, 3 * em, "the text is too narrow for its words")
        self.assertTrue(0.6 * em <= height <= 1.2 * em, f"text {height} px high for a {em} px font")
        # Clipped text runs right up to the box's edge; whole text leaves a gap on every side.
        self.assertTrue(box.left < left and right < box.right - 1 and box.top < top and bottom < box.bottom - 1,
                        f"text at x {left}..{right}, y {top}..{bottom} touches its box {box}")
        # The text starts at the box's top: the capitals' tops stand a fixed part of the em below it.
        self.assertLessEqual(abs(top - box.top - CAP_TOP_EM * em), 1.5 + 0.05 * em,
                             f"capitals start {top - box.top} px below the box's top, font {em} px")
        offset = ink.centre_offset()
        self.assertLessEqual(abs(offset - line.expected_shift), 2 * self.DPI / DESIGN_DPI,
                             f"text centre {offset:+.1f} px from the box's centre, {line.expected_shift:+.1f} meant")
        edge = ink.edge_width()
        self.assertLessEqual(edge, SHARP_EDGE_LIMIT, f"glyph edges {edge:.2f} px wide: an enlarged rendering")

    def assertPicture(self, screen, client):
        box = self.layout.picture.moved(client.left, client.top)
        expected = self.expected_picture()
        mean_limit, most_limit = PICTURE_LIMITS["own size" if self.DPI == DESIGN_DPI else "scaled"]
        here = Difference(screen.crop(box), expected)
        self.assertLessEqual(here.mean, mean_limit, "mean difference to the decoded picture")
        self.assertLessEqual(here.quantile(PICTURE_MOST), most_limit,
                             f"difference of the {PICTURE_MOST:.0%} best matching pixels")
        # Placement: a neighbouring position must not match better than the box's own.
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                if (dx, dy) != (0, 0):
                    shifted = Difference(screen.crop(box.moved(dx, dy)), expected)
                    self.assertGreater(shifted.mean, here.mean, f"the picture matches better {dx:+d},{dy:+d} px off")

    def save_documentation(self, run, window="window.png", box="message-box.png"):
        folder = os.environ.get("TAZEL_E2E_DOCS")
        if not folder or self.DPI != DESIGN_DPI:
            return
        os.makedirs(folder, exist_ok=True)
        self.shots["window"].crop(rect_box(run.of("window")[0]["rect"])).save_png(os.path.join(folder, window))
        if box:
            self.shots["box"].crop(rect_box(run.boxes[0]["rect"])).save_png(os.path.join(folder, box))

    def assertReadAloud(self, run):
        """The main window's children, as a screen reader finds them, are the four lines in order."""
        children = run.of("accessible")[0]["children"]
        self.assertEqual([child["name"] for child in children], READ_ALOUD, "names through oleacc")
        roles = {child["role"] for child in children}
        self.record(f"roles through oleacc: {sorted(roles)}")
        for child in children:
            self.assertEqual(child["text"], child["name"])
            self.assertEqual(child["class"].lower(), "static")
            self.assertEqual(child["style"] & SS_TYPEMASK, SS_OWNERDRAW, "not a text static drawn by the window")
            self.assertTrue(child["style"] & WS_VISIBLE, "a hidden control is not read")
            self.assertIn(child["role"], (ROLE_SYSTEM_STATICTEXT, ROLE_SYSTEM_CLIENT))


class WindowAt96Dpi(WindowScenario):
    # Well away from the middle of the screen, where the question appears after the pause.
    MOVE_TO = (560, 520)

    def test_drawn_as_laid_out(self):
        run = self.play("accessible", hooks={})
        self.assertDrawn(self.shots["window"], client_box(run.of("window")[0]), "shown")
        self.assertReadAloud(run)
        self.save_documentation(run)

    def test_repainted_after_moving_and_uncovering(self):
        def moved_drawn(image, run):
            return painted(image, client_box(run.of("window_moved")[-1]))

        def covered(image, run):
            cover = run.of("covered")[-1]
            client = client_box(run.of("window_moved")[-1])
            return count_in(image, client, tuple(cover["colour"])) == client.width * client.height

        def uncovered(image, run):
            cover = run.of("covered")[-1]
            return count_in(image, rect_box(cover["rect"]), tuple(cover["colour"])) == 0

        x, y = self.MOVE_TO
        run = self.play(f"window-move={x},{y}", "sync=moved", "cover", "sync=covered", "uncover", "sync=uncovered",
                        hooks={"moved": self.shoot("moved", moved_drawn), "covered": self.shoot("covered", covered),
                               "uncovered": self.shoot("uncovered", uncovered)})
        before, after = run.of("window")[0], run.of("window_moved")[0]
        question = rect_box(run.boxes[0]["rect"])
        self.assertFalse(overlap(rect_box(run.of("covered")[0]["rect"]), question),
                         "the window was moved under the question's place; the shots cannot tell them apart")
        self.assertEqual(after["rect"][:2], [x, y], "the frame did not move there")
        old, new = client_box(before), client_box(after)

        self.assertDrawn(self.shots["moved"], new, "moved")
        # Nothing of the window stays behind where it was.
        self.assertEqual(count_in(self.shots["moved"], old, WINDOW_GREY), 0, "grey left at the old place")

        cover = run.of("covered")[0]
        colour = tuple(cover["colour"])
        # The cover really hid the window, so what shows afterwards has been drawn anew.
        self.assertEqual(count_in(self.shots["covered"], new, colour), new.width * new.height,
                         "the covering window did not hide the client area")
        self.assertEqual(count_in(self.shots["uncovered"], rect_box(cover["rect"]), colour), 0,
                         "the covering window's colour stayed on screen")
        self.assertDrawn(self.shots["uncovered"], new, "uncovered")


class WindowAt144Dpi(WindowAt96Dpi):
    DPI = 144
    # The question (in Tahoma at 144 DPI) ends at y = 476; the cover reaches 8 pixels above the frame.
    MOVE_TO = (380, 486)


class WindowMovedTo144Dpi(WindowScenario):
    """Told during the pause that it now stands on a monitor of 150 %, as Windows tells a window
    moved there, the window takes the suggested place and is laid out, drawn and pictured
    exactly as one started at 144 DPI (Wine's screen itself stays at 96 DPI)."""
    DPI = 144
    SCREEN_DPI = 96
    MOVE_TO = (380, 480)

    def test_laid_out_anew_for_the_new_dpi(self):
        def changed_drawn(image, run):
            return laid_out(image, client_box(run.of("dpi_changed")[-1]), self.layout)

        x, y = self.MOVE_TO
        run = self.play(f"dpi={self.DPI},{x},{y}", "sync=changed",
                        hooks={"changed": self.shoot("changed", changed_drawn)})
        changed = run.of("dpi_changed")[0]
        self.assertEqual(changed["rect"][:2], [x, y], "the window did not take the suggested place")
        # Asked first, the window named its own frame for the new DPI: one around the new client
        # area. (Wine then draws the frame at its screen's DPI, and the window corrects for that.)
        scaled = run.of("dpi_scaled_size")[0]
        self.assertTrue(scaled["answered"], "the window did not name its size for the new DPI")
        (width, height), (frame_width, frame_height) = Layout(self.DPI).client, scaled["size"]
        self.assertTrue(width < frame_width < width + 40 and height < frame_height < height + 80,
                        f"named frame {scaled['size']} for a client area of {width} x {height}")
        self.assertFalse(overlap(rect_box(changed["rect"]), rect_box(run.boxes[0]["rect"])),
                         "the window stands where the question comes; the shots cannot tell them apart")
        self.assertDrawn(self.shots["changed"], client_box(changed), "after the change")


class WindowAt144DpiOnWindows81(WindowScenario):
    """Without the per-window DPI functions of Windows 10 (Windows 8.1, early Windows 10), the
    window takes its monitor's DPI from shcore and its frame from the system's metrics."""
    INSTALLER = "TestWindows81.exe"
    DPI = 144

    def test_laid_out_for_the_monitor_dpi(self):
        run = self.play(hooks={})
        self.assertDrawn(self.shots["window"], client_box(run.of("window")[0]), "shown")


class WindowMovedTo144DpiOnWindows81(WindowMovedTo144Dpi):
    INSTALLER = "TestWindows81.exe"


class WindowAt144DpiOnWindows7(WindowAt144DpiOnWindows81):
    """Windows 7 has no shcore.dll either: the window takes the system's DPI."""
    INSTALLER = "TestWindows7.exe"


class PublisherWindow(WindowScenario):
    """A publisher's own package (tests/packages/Publisher.package): the window draws the
    publisher's picture in its box, and the executable carries the publisher's icon, every size
    of it, and the publisher's version, company and copyright. With TAZEL_E2E_DOCS, the window's
    screenshot goes there as publisher-window.png."""
    INSTALLER = "TestPublisher.exe"
    FIXTURES = os.path.join(REPO, "tests", "packages", "publisher")

    def fixture(self, name):
        with open(os.path.join(self.FIXTURES, name), "rb") as f:
            return f.read()

    @staticmethod
    def opaque_bitmap(image):
        """An icon's 32-bit bitmap image, all of it opaque, as RGB rows from the top."""
        width, height, _, bits = struct.unpack_from("<IiHH", image, 4)
        height //= 2  # the mask's rows follow the picture's
        assert bits == 32 and all(image[40 + i + 3] == 255 for i in range(0, 4 * width * height, 4))
        rows = [image[40 + 4 * width * y:40 + 4 * width * (y + 1)] for y in reversed(range(height))]
        return Image(width, height, b"".join(bytes((row[i + 2], row[i + 1], row[i])) for row in rows
                                          for i in range(0, len(row), 4)))

    def test_shows_the_publishers_picture_and_icon_and_carries_its_version(self):
        carried = resources(self.installer_path())
        self.assertTrue(carried[(10, 201, 0)] == self.fixture("Window.jpg"), "not the publisher's picture")
        run = self.play(hooks={})
        self.assertDrawn(self.shots["window"], client_box(run.of("window")[0]), "shown")
        self.save_documentation(run, window="publisher-window.png", box=None)

        # The title bar shows the icon's own 16 x 16 image, pixel for pixel, not a smaller rendering
        # of the product's one 32 x 32 image.
        small = self.opaque_bitmap(carried[(3, 30001, 0)])
        left, top = run.of("window")[0]["rect"][:2]
        title = self.shots["window"]
        best = min((Difference(title.crop(Box(left + dx, top + dy, 16, 16)), small).mean, dx, dy)
                   for dx in range(24) for dy in range(24))
        self.assertLessEqual(best[0], 1.0, f"the title bar's icon, at best {best[1:]} in the frame")

        # The icon file's three images, in its order, and the group pointing at them by number.
        icon = self.fixture("Icon.ico")
        count = struct.unpack_from("<H", icon, 4)[0]
        group = carried[(14, 1, 0)]
        self.assertEqual(struct.unpack_from("<HHH", group), (0, 1, count))
        sizes = []
        for i in range(count):
            width, height, _, _, _, _, size, offset = struct.unpack_from("<BBBBHHII", icon, 6 + 16 * i)
            image = carried[(3, 30001 + i, 0)]
            self.assertTrue(image == icon[offset:offset + size], f"icon image {i + 1}")
            self.assertEqual(struct.unpack_from("<BB", group, 6 + 14 * i) + struct.unpack_from("<IH", group, 14 + 14 * i),
                             (width, height, size, 30001 + i))
            sizes.append(width)
        self.assertEqual(sizes, [16, 32, 48])
        self.assertNotIn((3, 30001 + count, 0), carried)

        version = parse_version_block(carried[(16, 1, 1033)])
        self.assertEqual((version["file_version"], version["product_version"]), ((3, 1, 0, 27), (3, 1, 0, 27)))
        self.assertEqual(version["strings"]["040904B0"], {
            "CompanyName": "Planet Cards Ltd",
            "FileDescription": "Planet Card Back installer for Ombrix",
            "FileVersion": "3.1.0.27",
            "InternalName": "PlanetBack",
            "LegalCopyright": "Copyright \u00a9 2024 Planet Cards Ltd",
            "OriginalFilename": "PlanetBack.exe",
            "ProductName": "Ombrix",
            "ProductVersion": "3.1.0.27",
        })


if __name__ == "__main__":
    unittest.main()
