"""How Wine runs the 32-bit installer here: natively, or through qemu-user's i386 emulation in a
private namespace. Why, and how a route is chosen: tests/README.md, "What the tests run".
"""

import os
import re
import subprocess

WINE32 = "/usr/lib/wine/wine"
QEMU_I386 = os.environ.get("TAZEL_QEMU_I386") or "/var/cache/tazel-deck/qemu-user/qemu-i386"
QEMU_MIN_MAJOR = 10

# The i386 ELF executable entry of qemu-user's own binfmt rules; F opens qemu-i386 once, at
# registration, so it serves every mount namespace below this one.
I386_MAGIC = r"\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00"
I386_MASK = r"\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff"
ENTER_SCRIPT = ('mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc && '
                'printf "%s\\n" "$1" > /proc/sys/fs/binfmt_misc/register && shift && exec "$@"')


class NativeRoute:
    name = "native"
    emulated = False
    stamp = "native"
    description = "natively (this machine executes 32-bit x86 code)"

    def wrap(self, uid, gid, command):
        return list(command)


class EmulatedRoute:
    name = "qemu-user"
    emulated = True

    def __init__(self, qemu, version):
        self.qemu = qemu
        self.version = version
        self.stamp = f"qemu-user-{version}"
        self.description = (f"through qemu-user {version} (i386 emulation in a private user namespace: "
                            "this machine does not execute 32-bit x86 code)")

    def wrap(self, uid, gid, command):
        registration = f":tazel-i386:M::{I386_MAGIC}:{I386_MASK}:{self.qemu}:F"
        return (["unshare", "--user", "--map-root-user", "--mount", "--fork",
                 "sh", "-c", ENTER_SCRIPT, "sh", registration,
                 "unshare", "--user", f"--map-user={uid}", f"--map-group={gid}"] + list(command))


def qemu_version(path):
    """qemu-i386's version, or None when it is missing or cannot run."""
    try:
        output = subprocess.run([path, "--version"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                text=True, timeout=30).stdout
    except (OSError, subprocess.TimeoutExpired):
        return None
    match = re.match(r"qemu-i386 version (\d+)\.(\d+)\.(\d+)", output)
    return match and ".".join(match.groups())


def kernel_runs_i386():
    """False when the kernel refuses Wine's 32-bit loader outright; True means only 'maybe'."""
    try:
        return subprocess.run([WINE32, "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=30).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


def candidates():
    """The routes worth a try, best first, and why any other one is out."""
    routes, excluded = [], []
    if kernel_runs_i386():
        routes.append(NativeRoute())
    else:
        excluded.append("native: the kernel refuses Wine's 32-bit loader")
    version = qemu_version(QEMU_I386)
    if version is None:
        excluded.append(f"qemu-user: no qemu-i386 at {QEMU_I386} (scripts/setup.sh fetches it)")
    elif int(version.split(".")[0]) < QEMU_MIN_MAJOR:
        excluded.append(f"qemu-user: {QEMU_I386} is version {version}, {QEMU_MIN_MAJOR} or later is needed")
    else:
        routes.append(EmulatedRoute(QEMU_I386, version))
    return routes, excluded
