#!/usr/bin/env bash
# Installs, as root on Debian 12, everything the cross build and the Wine test
# bed need. Safe to run again: each step checks whether it is already done.
set -euo pipefail

packages=(
  ca-certificates
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  mingw-w64-tools libz-mingw-w64-dev libwine-dev
  cmake ninja-build make googletest
  gcc libc6-dev tcl dpkg-dev xz-utils
  wine wine64 wine32:i386 xvfb xauth
  sqlite3 python3 procps
)
src=/etc/apt/sources.list.d/zel-deb-src.sources

# With --if-needed nothing is done when every package and the deb-src
# entry are already there, so the build scripts can call this every time.
if [ "${1:-}" = --if-needed ] && [ -f "$src" ]; then
  missing=0
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing=1
  done
  [ $missing = 0 ] && exit 0
fi

if [ "$(id -u)" != 0 ]; then
  exec sudo "$0" "$@"
fi

export DEBIAN_FRONTEND=noninteractive

# Wine's 32-bit loader comes from the i386 architecture. The tests run the
# 64-bit build under wine64 by default (some machines execute no 32-bit
# code at all); wine32 is there for machines that can run the shipped build.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

# SQLite and jansson have no MinGW package: the build compiles them from
# Debian's own source packages, so apt needs deb-src entries.
if [ ! -f "$src" ]; then
  cat >"$src" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
fi

apt-get update -q

apt-get install -y -q --no-install-recommends "${packages[@]}"
