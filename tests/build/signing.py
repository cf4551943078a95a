"""A throwaway code-signing certificate and scripts/release.sh, for the signing tests."""

import os
import pathlib
import subprocess

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[2]
RELEASE = SOURCE_DIR / "scripts" / "release.sh"
PASSWORD = "correct horse"


def make_certificate(folder):
    """A self-signed code-signing certificate in `folder`: (PKCS#12 file under PASSWORD, certificate PEM)."""
    key, cert, bundle = (pathlib.Path(folder) / name for name in ("key.pem", "cert.pem", "cert.p12"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "2", "-subj", "/CN=Tazel Deck Test Publisher",
                    "-addext", "extendedKeyUsage=codeSigning"], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", bundle,
                    "-passout", "env:TAZEL_TEST_P12_PASSWORD"],
                   env=dict(os.environ, TAZEL_TEST_P12_PASSWORD=PASSWORD), check=True, capture_output=True)
    return bundle, cert


def release(exe, out, pkcs12=None, password=PASSWORD, *options, shell=("bash",), env=None):
    """Runs scripts/release.sh on an already built `exe` into the folder `out`, through `shell` and with
    `env` added to the environment. A password of None is not given through the environment."""
    environment = {k: v for k, v in os.environ.items()
                   if not k.startswith(("TAZEL_SIGN_", "TAZEL_TIMESTAMP", "TAZEL_RELEASE"))}
    environment.update(env or {}, TAZEL_RELEASE_EXE=str(exe))
    if pkcs12:
        if password is not None:
            environment["TAZEL_SIGN_PASSWORD"] = password
        options = ("--pkcs12", str(pkcs12)) + options
    return subprocess.run([*shell, str(RELEASE), "--no-build", "--out", str(out)] + list(options), env=environment,
                          capture_output=True, text=True, timeout=120)
