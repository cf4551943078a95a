#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine.
# Idempotent: when every package is present it only checks and returns.
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
)

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

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
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
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
  apt-get -qq "${options[@]}" update
  (cd "$state" && apt-get -qq "${options[@]}" download qemu-user/bookworm-backports)
  deb=$(ls "$state"/qemu-user_*.deb)
  dpkg-deb -x "$deb" "$state/root"
  qemu_usable "$state/root/usr/bin/qemu-i386" || { echo "setup: the fetched qemu-i386 is older than $QEMU_MIN_MAJOR" >&2; return 1; }
  $SUDO mkdir -p "$QEMU_CACHE"
  $SUDO install -m 0755 "$state/root/usr/bin/qemu-i386" "$QEMU_CACHE/qemu-i386.new"
  $SUDO mv -f "$QEMU_CACHE/qemu-i386.new" "$QEMU_CACHE/qemu-i386"
  "$QEMU_CACHE/qemu-i386" --version | head -n 1 >&2
}

qemu_usable "$QEMU_CACHE/qemu-i386" || fetch_qemu
