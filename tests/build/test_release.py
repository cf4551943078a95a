"""The release folder: a signed TazelDeck.exe that is still the reproducible build underneath, with
the two package makers beside it (the Windows one signed too), no release at all when signing fails,
no password in a trace, and an older release never lost."""

import os
import pathlib
import shutil
import subprocess
import tempfile
import unittest

from signing import PASSWORD, make_certificate, release

BUILD = pathlib.Path(os.environ["TAZEL_WIN_BUILD_ROOT"])
PRODUCT = BUILD / "win-i686" / "TazelDeck.exe"
RELEASE = ["SHA256SUMS", "TazelDeck.exe", "TazelPack.exe", "tazelpack", "web"]


def verify(exe, cert):
    return subprocess.run(["osslsigncode", "verify", "-in", exe, "-CAfile", cert], capture_output=True, text=True)


class ReleaseTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory(prefix="tazel-release-")
        cls.folder = pathlib.Path(cls.work.name)
        cls.pkcs12, cls.cert = make_certificate(cls.folder)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def test_signed_release_verifies_and_is_the_build_underneath(self):
        out = self.folder / "signed"
        result = release(PRODUCT, out, self.pkcs12, PASSWORD, "--url", "https://example.org/tazel")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(os.listdir(out)), RELEASE)
        signed = out / "TazelDeck.exe"
        packer = verify(out / "TazelPack.exe", self.cert)
        self.assertIn("Text description: Tazel Deck package maker", packer.stdout)
        self.assertEqual(packer.returncode, 0, packer.stdout + packer.stderr)
        self.assertEqual((out / "tazelpack").read_bytes(), (BUILD / "native" / "packer" / "tazelpack").read_bytes())
        self.assertEqual(sorted(os.listdir(out / "web")), sorted(os.listdir(BUILD / "web" / "site")))

        verified = verify(signed, self.cert)
        self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
        for line in ("Message digest algorithm  : SHA256", "Text description: Tazel Deck",
                     "URL description: https://example.org/tazel", "Signature verification: ok"):
            self.assertIn(line, verified.stdout)
        # Against another publisher's certificate the same file does not verify.
        other = self.folder / "other"
        other.mkdir()
        self.assertNotEqual(verify(signed, make_certificate(other)[1]).returncode, 0)

        stripped = self.folder / "stripped.exe"
        subprocess.run(["osslsigncode", "remove-signature", "-in", signed, "-out", stripped], check=True,
                       capture_output=True)
        self.assertTrue(stripped.read_bytes() == PRODUCT.read_bytes(),
                        "without its signature the file is not the build's bytes")
        sums = subprocess.run(["sha256sum", "--check", "--strict", "SHA256SUMS"], cwd=out, capture_output=True, text=True)
        self.assertEqual(sums.returncode, 0, sums.stdout + sums.stderr)

    def test_failed_signing_writes_no_release(self):
        damaged = self.folder / "damaged.p12"
        damaged.write_bytes(self.pkcs12.read_bytes()[:700])
        previous = self.folder / "previous"
        previous.mkdir()
        (previous / "TazelDeck.exe").write_bytes(b"the release before")
        for case, pkcs12, password, out in (("wrong password", self.pkcs12, "wrong horse", self.folder / "fresh"),
                                            ("damaged file", damaged, PASSWORD, previous)):
            with self.subTest(case):
                result = release(PRODUCT, out, pkcs12, password)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn("signing failed", result.stderr)
                self.assertIn("no release was written", result.stderr)
                self.assertEqual([p.name for p in self.folder.iterdir() if p.name.startswith(out.name + ".")], [],
                                 "a partial folder was left behind")
        self.assertFalse((self.folder / "fresh").exists())
        self.assertEqual(os.listdir(previous), ["TazelDeck.exe"])
        self.assertEqual((previous / "TazelDeck.exe").read_bytes(), b"the release before")

    def assertOnlyRelease(self, out, content=None):
        """`out` holds a release (the older one, its executable's bytes `content`, when given) and
        nothing was left beside it."""
        self.assertTrue(out.is_dir(), f"no folder {out.name} any more")
        self.assertEqual(sorted(os.listdir(out)), RELEASE if content is None else ["SHA256SUMS", "TazelDeck.exe"])
        if content is not None:
            self.assertEqual((out / "TazelDeck.exe").read_bytes(), content)
        self.assertEqual([p.name for p in out.parent.iterdir() if p.name.startswith(out.name + ".")], [],
                         "a partial or set-aside folder was left behind")

    def test_traced_release_shows_no_password_and_replaces_the_older_one(self):
        password_file = self.folder / "password"
        password_file.write_text(PASSWORD + "\n")
        bash_env = self.folder / "bash_env"
        bash_env.write_text("set -x\n")
        out = self.folder / "traced"
        out.mkdir()
        (out / "TazelDeck.exe").write_bytes(b"the release before")
        (out / "SHA256SUMS").write_text("")
        for case, shell, env, password, options in (
                ("bash -x, password in the environment", ("bash", "-x"), {}, PASSWORD, ()),
                ("set -x from BASH_ENV, password file", ("bash",), {"BASH_ENV": str(bash_env)}, None,
                 ("--password-file", str(password_file)))):
            with self.subTest(case):
                result = release(PRODUCT, out, self.pkcs12, password, *options, shell=shell, env=env)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIn("+ sha256sum TazelDeck.exe TazelPack.exe tazelpack", result.stderr, "the script was not traced")
                self.assertFalse("horse" in result.stdout + result.stderr, "the password is in the trace")
                verified = verify(out / "TazelDeck.exe", self.cert)
                self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
                self.assertOnlyRelease(out)

    def test_an_older_release_survives_a_failed_or_interrupted_last_step(self):
        # A file system that offers no swap in one step (the python3 here answers so for it), where
        # moving the new release into place fails, or Ctrl-C comes as it runs.
        tools = self.folder / "tools"
        tools.mkdir()
        (tools / "python3").write_text("#!/bin/sh\nexit 2\n")
        (tools / "mv").write_text(f"""#!/bin/sh
for source; do case $source in -*) ;; *) break ;; esac; done
if cmp -s "$source/TazelDeck.exe" "$TAZEL_RELEASE_EXE"; then
    [ -z "$TAZEL_TEST_SIGNAL" ] || kill -s "$TAZEL_TEST_SIGNAL" "$PPID"
    exit 1
fi
exec {shutil.which("mv")} "$@"
""")
        for tool in tools.iterdir():
            tool.chmod(0o755)
        out = self.folder / "kept"
        out.mkdir()
        (out / "TazelDeck.exe").write_bytes(b"the release before")
        (out / "SHA256SUMS").write_text("")
        for case, signal in (("refused", ""), ("interrupted", "INT")):
            with self.subTest(case):
                result = release(PRODUCT, out, env={"PATH": f"{tools}:{os.environ['PATH']}", "TAZEL_TEST_SIGNAL": signal})
                self.assertNotEqual(result.returncode, 0, result.stderr)
                self.assertOnlyRelease(out, b"the release before")
                self.assertIn("the older release is back", result.stderr)

    def test_without_a_certificate_the_release_is_unsigned_and_says_so(self):
        out = self.folder / "unsigned"
        result = release(PRODUCT, out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("NOT signed", result.stderr)
        self.assertTrue((out / "TazelDeck.exe").read_bytes() == PRODUCT.read_bytes())
        self.assertNotEqual(verify(out / "TazelDeck.exe", self.cert).returncode, 0)


if __name__ == "__main__":
    unittest.main()
