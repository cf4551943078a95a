#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine.
# Idempotent: when every package is present it only checks and returns.
# It gets through a mirror caught mid-sync (one index that fails to download, and lists that then
# pair amd64 and i386 library versions badly); it fails only when the packages cannot be had.
set -euo pipefail

PACKAGES=(
  cmake make g++ pkg-config python3
  libgtest-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine64 wine32:i386 fonts-wine
  xvfb xauth x11-utils
  fonts-liberation
  imagemagick
  libcairo2-dev libjpeg62-turbo-dev
  icoutils
  util-linux
  osslsigncode openssl
  python3-pefile
  lzma-dev
  emscripten
  chromium chromium-driver python3-selenium
  clang-14 libclang-rt-14-dev clang-format-14
)

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
# Seconds between attempts at the package lists; the stand-in tests set 0.
RETRY_SECONDS=${TAZEL_SETUP_RETRY_SECONDS:-5}
export DEBIAN_FRONTEND=noninteractive

update_lists() {
  local attempt errors
  errors=$(mktemp)
  for attempt in 1 2 3; do
    if $SUDO apt-get update -qq 2>"$errors"; then rm -f "$errors"; return 0; fi
    [ "$attempt" -lt 3 ] && sleep "$((RETRY_SECONDS * attempt))"
  done
  # A mirror mid-sync fails one index for half an hour at a time: the lists that came are enough
  # whenever the install below can be resolved from them.
  echo "setup: some package lists did not download, going on with those that did: $(grep -m1 '^E:' "$errors" | cut -c4- | sed 's/^ *//')" >&2
  rm -f "$errors"
}

install_packages() {
  local options=(-y -qq --no-install-recommends)
  $SUDO apt-get install "${options[@]}" "$@" >/dev/null && return 0
  # Lists from a mirror mid-sync can offer an amd64 library in its security version with no i386
  # twin of the same version; the release's own versions always pair.
  echo "setup: the install could not be resolved; trying again with bookworm's own versions" >&2
  $SUDO apt-get install "${options[@]}" -o APT::Default-Release=bookworm "$@" >/dev/null && return 0
  echo "setup: cannot install $* from this machine's package sources (apt's reasons above)" >&2
  exit 1
}

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  update_lists
  install_packages "${missing[@]}"
fi

# qemu-user's i386 emulator, for machines whose kernel will not execute 32-bit x86 code: the tests
# then run the 32-bit installer under Wine through it, registered only inside a private user
# namespace (never on this machine itself). Debian 12's own qemu 7.2 cannot serve: it takes
# MAP_FIXED_NOREPLACE as a hint, and Wine's 32-bit start-up then takes about a minute a process.
# The 10.x build of bookworm-backports is fetched with a private apt state, so the machine's apt
# sources stay as they are, and only its static qemu-i386 is kept.
QEMU_CACHE=${TAZEL_QEMU_CACHE:-/var/cache/tazel-deck/qemu-user}
QEMU_MIN_MAJOR=10

qemu_usable() {
  local version
  version=$("$1" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p')
  [ -n "$version" ] && [ "$version" -ge "$QEMU_MIN_MAJOR" ]
}

debian_mirror() {
  # The mirror the machine's own Debian sources name for bookworm (deb822 or one-line style).
  local uri
  uri=$(awk '/^URIs:/ { uris = $2 } /^Suites:/ && / bookworm( |$)/ { print uris; exit }' \
          /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  [ -z "$uri" ] && uri=$(awk '$1 == "deb" && $0 ~ / bookworm / { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' \
          /etc/apt/sources.list 2>/dev/null || true)
  echo "${uri:-http://deb.debian.org/debian}"
}

fetch_qemu() {
  local state mirror options deb
  state=$(mktemp -d)
  trap 'rm -rf "$state"' RETURN
  mirror=$(debian_mirror)
  mkdir -p "$state/lists/partial" "$state/archives/partial" "$state/parts" "$state/preferences"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror bookworm-backports main" \
    > "$state/sources.list"
  options=(-o "Dir::Etc::SourceList=$state/sources.list" -o "Dir::Etc::SourceParts=$state/parts"
           -o "Dir::Etc::PreferencesParts=$state/preferences" -o "Dir::State::Lists=$state/lists"
           -o "Dir::Cache=$state/cache" -o "Dir::Cache::Archives=$state/archives"
           -o "APT::Architecture=amd64" -o "APT::Architectures=amd64" -o "APT::Sandbox::User=root")
  echo "setup: fetching qemu-user from bookworm-backports ($mirror)" >&2
  local attempt
  for attempt in 1 2 3; do
    apt-get -qq "${options[@]}" update && break
    [ "$attempt" -lt 3 ] && sleep "$((RETRY_SECONDS * attempt))"
  done
  (cd "$state" && apt-get -qq "${options[@]}" download qemu-user/bookworm-backports) || return 1
  deb=$(ls "$state"/qemu-user_*.deb 2>/dev/null) || return 1
  dpkg-deb -x "$deb" "$state/root" || return 1
  qemu_usable "$state/root/usr/bin/qemu-i386" || { echo "setup: the fetched qemu-i386 is older than $QEMU_MIN_MAJOR" >&2; return 1; }
  $SUDO mkdir -p "$QEMU_CACHE" &&
    $SUDO install -m 0755 "$state/root/usr/bin/qemu-i386" "$QEMU_CACHE/qemu-i386.new" &&
    $SUDO mv -f "$QEMU_CACHE/qemu-i386.new" "$QEMU_CACHE/qemu-i386" || return 1
  "$QEMU_CACHE/qemu-i386" --version | head -n 1 >&2
}

# A 96-byte i386 program whose only act is to exit with status 32. The kernel runs it itself, or
# refuses it; a handler registered machine-wide for i386 programs would run it too, and that
# route hangs Wine, so such a machine counts as one that needs the private emulator.
I386_PROBE='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x20\x00\x00\x00\xcd\x80'

runs_i386_natively() {
  case "${TAZEL_SETUP_I386:-}" in native) return 0 ;; emulated) return 1 ;; esac
  if grep -qs '^magic 7f454c46010101000000000000000000020003' /proc/sys/fs/binfmt_misc/*; then
    return 1
  fi
  local probe status=0
  probe=$(mktemp)
  printf "$I386_PROBE" > "$probe" && chmod +x "$probe"
  timeout 10 "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" -eq 32 ]
}

if ! runs_i386_natively; then
  qemu_usable "$QEMU_CACHE/qemu-i386" || fetch_qemu || {
    echo "setup: cannot fetch qemu-user $QEMU_MIN_MAJOR from bookworm-backports, which this machine needs to run the 32-bit installer" >&2
    exit 1
  }
fi
