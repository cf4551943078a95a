"""Reading the installer's window off a screenshot: where each element has to stand at a DPI, and
which of the pixels there are background, text or picture.

The window was designed in twips (1440 to the inch); resources/WindowLayout.h holds the same figures for the
program. They are written out again here rather than parsed from there, so that a slip in the
program's table shows up as a difference on screen.
"""

import subprocess
from collections import namedtuple

from winelab import parse_ppm

TWIPS_PER_INCH = 1440
DESIGN_DPI = 96

WINDOW_GREY = (224, 224, 224)
PANEL_WHITE = (255, 255, 255)
PANEL_PURPLE = (102, 51, 102)
PACKAGE_BLUE = (0, 0, 255)

CLIENT_TWIPS = (6195, 2460)
PANEL_TWIPS = (0, 0, 3450, 1800)
PICTURE_TWIPS = (3705, 0, 2265, 1440)
PICTURE_RESOURCE = (10, 201)  # RT_RCDATA, the picture's JPEG

# Arial's (and its stand-in Liberation Sans's) space is 569 of 2048 units of the em.
SPACE_EM = 569 / 2048

LineDesign = namedtuple("LineDesign", "name twips in_panel colour quarter_points trailing_spaces")
LINES = (
    LineDesign("game", (435, 100, 2505, 650), True, PANEL_PURPLE, 111, 0),
    LineDesign("credit", (195, 950, 3015, 315), True, PANEL_PURPLE, 48, 0),
    LineDesign("subtitle", (210, 1400, 3015, 375), True, PANEL_PURPLE, 48, 1),
    LineDesign("package", (0, 2000, 6100, 375), False, PACKAGE_BLUE, 48, 0),
)


def to_pixels(twips, dpi):
    """Rounded half up, as the program's MulDiv does."""
    return (twips * dpi + TWIPS_PER_INCH // 2) // TWIPS_PER_INCH


class Box(namedtuple("Box", "left top width height")):
    @property
    def right(self):
        return self.left + self.width

    @property
    def bottom(self):
        return self.top + self.height

    def contains(self, x, y):
        return self.left <= x < self.right and self.top <= y < self.bottom

    def moved(self, dx, dy):
        return Box(self.left + dx, self.top + dy, self.width, self.height)


def box_at(twips, dpi):
    return Box(*(to_pixels(t, dpi) for t in twips))


class Line:
    def __init__(self, design, dpi, panel):
        self.name = design.name
        self.box = box_at(design.twips, dpi)
        if design.in_panel:
            self.box = self.box.moved(panel.left, panel.top)
        self.colour = design.colour
        self.background = PANEL_WHITE if design.in_panel else WINDOW_GREY
        self.em = (design.quarter_points * dpi + 144) // 288
        # A trailing space counts in the centring but leaves no ink: the words sit half of it left.
        self.expected_shift = -design.trailing_spaces * SPACE_EM * self.em / 2


class Layout:
    """The window's elements in pixels at one DPI, relative to the client area."""

    def __init__(self, dpi):
        self.dpi = dpi
        self.client = (to_pixels(CLIENT_TWIPS[0], dpi), to_pixels(CLIENT_TWIPS[1], dpi))
        self.panel = box_at(PANEL_TWIPS, dpi)
        self.picture = box_at(PICTURE_TWIPS, dpi)
        self.lines = [Line(design, dpi, self.panel) for design in LINES]

    def background_at(self, x, y):
        return PANEL_WHITE if self.panel.contains(x, y) else WINDOW_GREY


class Image:
    """8-bit RGB pixels, row by row."""

    def __init__(self, width, height, pixels):
        if len(pixels) != width * height * 3:
            raise ValueError("pixel data does not match the size")
        self.width, self.height, self.pixels = width, height, bytes(pixels)

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def crop(self, box):
        """The part under `box`; parts of the box beyond the image are an error, not black."""
        if box.left < 0 or box.top < 0 or box.right > self.width or box.bottom > self.height:
            raise ValueError(f"{box} reaches beyond the {self.width} x {self.height} image")
        rows = [self.pixels[((box.top + y) * self.width + box.left) * 3:((box.top + y) * self.width + box.right) * 3]
                for y in range(box.height)]
        return Image(box.width, box.height, b"".join(rows))

    def count(self, colour):
        wanted = bytes(colour)
        return sum(1 for i in range(0, len(self.pixels), 3) if self.pixels[i:i + 3] == wanted)

    def ppm(self):
        return b"P6\n%d %d\n255\n" % (self.width, self.height) + self.pixels

    def save_png(self, path):
        subprocess.run(["convert", "ppm:-", "-strip", path], input=self.ppm(), check=True, timeout=60)


def grab(display):
    """The whole screen, without writing a file: the shots taken while the installer pauses
    have to be quick, and are saved once the run is over."""
    ppm = subprocess.run(["import", "-display", display, "-window", "root", "-depth", "8", "ppm:-"], check=True,
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60).stdout
    return Image(*parse_ppm(ppm))


def magick(arguments, data):
    """Runs ImageMagick's convert over `data` and reads back an 8-bit PPM."""
    out = subprocess.run(["convert"] + arguments + ["-depth", "8", "ppm:-"], input=data, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, check=True, timeout=60).stdout
    return Image(*parse_ppm(out))


def decode_jpeg(data):
    return magick(["jpg:-", "-strip"], data)


def resized(image, width, height):
    """`image` scaled to exactly width x height with a linear filter, the way a smoothing
    stretch averages neighbouring source pixels."""
    return magick(["ppm:-", "-filter", "Triangle", "-resize", f"{width}x{height}!"], image.ppm())


# Text ---------------------------------------------------------------------------------------------

def blend(pixel, background, colour):
    """How far `pixel` lies from `background` towards `colour` (0 background, 1 the text colour)
    and how far off that line it lies, in RGB units."""
    d = [c - b for c, b in zip(colour, background)]
    p = [q - b for q, b in zip(pixel, background)]
    length2 = sum(v * v for v in d)
    t = sum(a * b for a, b in zip(p, d)) / length2
    off = sum((pv - t * dv) ** 2 for pv, dv in zip(p, d)) ** 0.5
    return t, off


class Ink:
    """The text pixels of one line, with how much of the text colour each holds."""

    def __init__(self, line):
        self.line = line
        self.coverage = {}  # (x, y) -> 0..1
        self.exact = 0

    def add(self, x, y, t, exact):
        self.coverage[(x, y)] = t
        self.exact += exact

    def __len__(self):
        return len(self.coverage)

    def bounds(self):
        """(left, top, right, bottom) of the ink, right and bottom inclusive."""
        xs = [x for x, _ in self.coverage]
        ys = [y for _, y in self.coverage]
        return min(xs), min(ys), max(xs), max(ys)

    def centre_offset(self):
        left, _, right, _ = self.bounds()
        box = self.line.box
        return (left + right + 1) / 2 - (box.left + box.width / 2)

    def edge_width(self, solid=0.9):
        """Mean count of part-covered pixels between background and solid text colour along the
        rows: about one where glyphs are drawn at their size, more where a smaller rendering was
        enlarged and its edges with it."""
        box = self.line.box
        widths = []
        for y in range(box.top, box.bottom):
            state, partial = "background", 0
            for x in range(box.left, box.right):
                t = self.coverage.get((x, y), 0.0)
                if t >= solid or t == 0.0:
                    now = "solid" if t >= solid else "background"
                    if now != state:
                        widths.append(partial)
                    state, partial = now, 0
                else:
                    partial += 1
        return sum(widths) / len(widths) if widths else float("nan")


def classify(client, layout, off_line=24.0, overshoot=0.08):
    """Sorts the client area's pixels outside the picture's box into background and each line's
    text. Returns ({line name: Ink}, [stray pixels as (x, y, rgb)]): a stray pixel is neither its
    place's background nor a blend of that background with the text colour of a line whose box
    holds it.

    The smoothing blends each channel through a gamma curve, which bends the blend away from the
    straight line between the two colours: up to 18 RGB units for blue on the grey, where the
    channels travel very different distances. `off_line` allows for that and still tells blue
    from purple: where the wrong one of the two is blended in at a fifth of its strength or more,
    the pixel lies 29 units or more off the line."""
    inks = {line.name: Ink(line) for line in layout.lines}
    stray = []
    for y in range(client.height):
        for x in range(client.width):
            if layout.picture.contains(x, y):
                continue
            pixel = client.at(x, y)
            background = layout.background_at(x, y)
            if pixel == background:
                continue
            owner = None
            for line in layout.lines:
                if line.box.contains(x, y) and line.background == background:
                    t, off = blend(pixel, background, line.colour)
                    if 0.0 < t <= 1.0 + overshoot and off <= off_line:
                        owner = line
                        inks[line.name].add(x, y, min(t, 1.0), pixel == line.colour)
                    break
            if owner is None:
                stray.append((x, y, pixel))
    return inks, stray


# Pictures -----------------------------------------------------------------------------------------

class Difference:
    """How far two images of one size differ: the mean absolute difference over all channels, and
    each pixel's largest channel difference, sorted."""

    def __init__(self, a, b):
        if (a.width, a.height) != (b.width, b.height):
            raise ValueError("images of different sizes")
        pa, pb = a.pixels, b.pixels
        self.mean = sum(abs(x - y) for x, y in zip(pa, pb)) / len(pa)
        self.largest = sorted(max(abs(pa[i] - pb[i]), abs(pa[i + 1] - pb[i + 1]), abs(pa[i + 2] - pb[i + 2]))
                              for i in range(0, len(pa), 3))

    def quantile(self, fraction):
        return self.largest[min(len(self.largest) - 1, int(len(self.largest) * fraction))]
