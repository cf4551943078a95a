"""Helpers shared by the installer scenarios."""

import os
import sys

from expected import DECK, GENERIC_REPORT, EVERY_OWN_TEXT, APPLICATION_TITLE
from winelab import REPO, InstallerTestCase

# The executable checks' PE reader: installed files are compared with the bytes the installer
# carries, read from the executable itself rather than from wherever the build found them.
sys.path.insert(0, os.path.join(REPO, "tests", "build"))
from pe import PeImage  # noqa: E402


def resources(path):
    """{(type, name, language): bytes} of an executable."""
    with open(path, "rb") as f:
        return PeImage(f.read()).resources()


def payload_entries(path):
    """The installer's payload entries, {resource id: bytes}, whatever their language."""
    return {name: data for (kind, name, _lang), data in resources(path).items()
            if kind == "CUSTOM" and isinstance(name, int)}


class ScenarioCase(InstallerTestCase):
    def payload(self, installer=None):
        """The installer's payload entries {resource id: bytes}, read from the executable."""
        return payload_entries(self.installer_path(installer))

    def deck(self):
        entries = self.payload()
        return {name: entries[resource] for name, resource in DECK}

    def assertOnlyBox(self, run):
        """Exactly one box was shown; returns it."""
        self.assertEqual(len(run.boxes), 1, run.describe())
        return run.boxes[0]

    def assertGenericReport(self, box):
        """A generic report: the installer's title, the code twice, and none of the own messages.
        Returns the code."""
        self.assertEqual(box["title"], APPLICATION_TITLE)
        self.assertNotIn(box["text"], EVERY_OWN_TEXT)
        match = GENERIC_REPORT.fullmatch(box["text"])
        self.assertIsNotNone(match, f"not a generic report: {box['text']!r}")
        self.assertEqual(int(match.group(1)), int(match.group(2), 16), "decimal and hexadecimal codes differ")
        self.assertEqual([b["text"] for b in box["buttons"]], ["OK"])
        self.assertFalse(box["icon"])
        return int(match.group(1))

    def assertNothingWritten(self, before):
        after = self.prefix.snapshot()
        self.assertEqual({k: v for k, v in after.items() if before.get(k) != v}, {}, "files were written")
        self.assertEqual(sorted(set(before) - set(after)), [], "files were removed")
