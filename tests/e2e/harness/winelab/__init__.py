"""Runs the 32-bit installer under Wine on a virtual X display, one fresh Wine prefix per scenario.

One test process owns one Xvfb display. The Wine prefix every scenario starts from is made once
(wineboot and a few settings) and shared by all test processes through a lock; each scenario
gets its own sealed copy in which the test driver starts the installer and plays user actions.
Every Wine command goes by the route that `wineroute` finds to run 32-bit programs here.

Settings (environment):
  TAZEL_WIN_BUILD_ROOT  folder holding win-i686/ (default: <repo>/build)
  TAZEL_E2E_OUTPUT      screenshots and transcripts (default: <build root>/native/tests/e2e/output)
  TAZEL_E2E_WORK        prefixes (default: <system temp>/tazel-e2e-work)
  TAZEL_E2E_KEEP=1      keep each scenario's prefix for inspection
  TAZEL_E2E_COVERAGE    a folder: for scripts/coverage.sh's instrumented build, each scenario's gcov
                        counters are kept there (one subfolder per prefix) before the prefix goes

The modules: config (settings, the test user, the command line of a Wine program), display (the
screen), template (the template prefix and its route), prefix (one scenario's prefix and its
files), driver (a run of the test driver), session (what one test process shares) and case (the
scenarios' base class). The names the scenarios, the benchmark and scripts/run_installer.py use
are all here.
"""

from .case import InstallerTestCase
from .config import (COVERAGE_FOLDER, DRIVER, MAIN_WINDOW_TITLE, PROGRAM_FOLDER, REPO, TEST_USER, WINE64,
                     WINESERVER, Account, Config, in_prefix, notice)
from .display import Display, parse_ppm
from .driver import DriverRun
from .prefix import Prefix, cpu_seconds
from .session import Session
from .template import RouteFailed, Template

__all__ = ["COVERAGE_FOLDER", "DRIVER", "MAIN_WINDOW_TITLE", "PROGRAM_FOLDER", "REPO", "TEST_USER", "WINE64",
           "WINESERVER", "Account", "Config", "Display", "DriverRun", "InstallerTestCase", "Prefix", "RouteFailed",
           "Session", "Template", "cpu_seconds", "in_prefix", "notice", "parse_ppm"]
