"""scripts/setup.sh against a mirror caught mid-sync, with no network: stand-ins for apt-get, dpkg
and dpkg-query on the PATH. apt-get fails one index on every update, and cannot resolve the install
unless it is told to prefer bookworm's own versions, as a real mirror mid-sync made it do."""

import os
import pathlib
import subprocess
import tempfile
import unittest

SETUP = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "setup.sh"

APT_GET = r"""#!/bin/bash
echo "apt-get $*" >> "$STAND_IN_LOG"
case " $* " in
  *" update "*)
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100 ;;
  *" install "*)
    if [ "$STAND_IN_INSTALL" = resolves-with-release ] && [[ "$*" == *APT::Default-Release=bookworm* ]]; then exit 0; fi
    echo "E: Unable to correct problems, you have held broken packages." >&2
    exit 100 ;;
esac
exit 100
"""
STAND_INS = {
    "apt-get": APT_GET,
    "dpkg-query": "#!/bin/sh\nexit 1\n",
    "dpkg": "#!/bin/sh\necho i386\n",
    "sudo": '#!/bin/sh\nexec "$@"\n',
}


class MirrorMidSync(unittest.TestCase):
    def run_setup(self, install, i386):
        work = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory()))
        for name, text in STAND_INS.items():
            (work / name).write_text(text)
            (work / name).chmod(0o755)
        log = work / "log"
        log.touch()
        env = dict(os.environ, PATH=f"{work}:{os.environ['PATH']}", STAND_IN_LOG=str(log),
                   STAND_IN_INSTALL=install, TAZEL_SETUP_RETRY_SECONDS="0", TAZEL_SETUP_I386=i386,
                   TAZEL_QEMU_CACHE=str(work / "qemu"))
        run = subprocess.run(["bash", str(SETUP)], env=env, capture_output=True, text=True, timeout=60)
        return run, log.read_text().splitlines()

    def test_a_failed_index_is_retried_then_told_and_the_install_prefers_the_release(self):
        run, calls = self.run_setup("resolves-with-release", "native")
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual([c for c in calls if c.startswith("apt-get update")], ["apt-get update -qq"] * 3)
        told = [line for line in run.stderr.splitlines() if "did not download" in line]
        self.assertEqual(len(told), 1, run.stderr)
        self.assertIn("Mirror sync in progress?", told[0])
        installs = [c for c in calls if " install " in c]
        self.assertEqual(len(installs), 2)
        self.assertNotIn("Default-Release", installs[0])
        self.assertIn("-o APT::Default-Release=bookworm", installs[1])
        self.assertIn("wine32:i386", installs[1])
        # This machine runs 32-bit code itself, so no emulator is fetched.
        self.assertFalse([c for c in calls if "backports" in c], calls)

    def test_packages_that_cannot_be_had_fail_with_one_clear_line(self):
        run, calls = self.run_setup("never", "native")
        self.assertNotEqual(run.returncode, 0)
        self.assertRegex(run.stderr.splitlines()[-1], r"^setup: cannot install cmake .* from this machine's package sources")

    def test_a_machine_without_32_bit_code_fetches_the_emulator(self):
        run, calls = self.run_setup("resolves-with-release", "emulated")
        self.assertTrue([c for c in calls if "download qemu-user/bookworm-backports" in c], calls)
        self.assertNotEqual(run.returncode, 0)
        self.assertIn("cannot fetch qemu-user 10", run.stderr.splitlines()[-1])


if __name__ == "__main__":
    unittest.main()
