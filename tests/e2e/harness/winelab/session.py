"""What one test process shares between its scenarios: the settings, the screen, the template
and the route it proved."""

import atexit
import os
import shutil
import time

from .config import TEST_USER, Account, Config, notice
from .display import Display
from .template import Template


class Session:
    """What one test process shares between its scenarios."""

    _current = None

    @classmethod
    def get(cls):
        if cls._current is None:
            cls._current = Session()
            atexit.register(cls._current.close)
        return cls._current

    def __init__(self):
        self.config = Config()
        self.account = Account()
        os.makedirs(self.config.output, exist_ok=True)
        os.makedirs(self.config.work, exist_ok=True)
        os.chmod(self.config.work, 0o755)
        self.check_reachable(self.config.work)
        self.remove_abandoned_prefixes()
        self.display = Display(os.path.join(self.config.output, f"xvfb-{os.getpid()}.log"))
        try:
            self.template = Template(self.config, self.account, self.display)
            self.route = self.template.ensure()
        except BaseException:
            self.display.close()
            raise
        self.announce_route()

    def announce_route(self):
        """Says, and keeps beside the transcripts, how this run executes the 32-bit installer."""
        text = f"running the 32-bit installer {self.route.description}"
        notice(text)
        with open(os.path.join(self.config.output, "route.txt"), "w", encoding="utf-8") as f:
            f.write(text + "\n")

    def check_reachable(self, folder):
        """The test user has to reach its prefixes: every folder above them must let others pass."""
        if not self.account.privileged:
            return
        path = folder
        while path != os.path.dirname(path):
            path = os.path.dirname(path)
            if not os.stat(path).st_mode & 0o001:
                raise RuntimeError(f"{TEST_USER} cannot pass through {path}; set TAZEL_E2E_WORK elsewhere")

    def remove_abandoned_prefixes(self):
        """Prefixes left by test processes that were killed, a day or more ago."""
        limit = time.time() - 24 * 3600
        for name in os.listdir(self.config.work):
            path = os.path.join(self.config.work, name)
            if not name.startswith("template") and os.path.isdir(path) and os.stat(path).st_mtime < limit:
                shutil.rmtree(path, ignore_errors=True)

    def close(self):
        self.display.close()

