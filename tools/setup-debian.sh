#!/usr/bin/env bash
# Installs, as root on Debian 12, everything the cross build and the test
# beds need. Safe to run again: each step checks whether it is already done.
#
# A package mirror can serve a bad index for days (one that fails its size
# check while every other index is fresh). The set-up then goes on with what
# it has, and stops with a clear message only when a package it needs truly
# cannot be installed.
set -euo pipefail

# Needed by every build and test run.
packages=(
  ca-certificates
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  mingw-w64-tools libz-mingw-w64-dev libwine-dev
  cmake ninja-build make googletest
  gcc libc6-dev tcl dpkg-dev xz-utils
  wine wine64 xvfb xauth
  sqlite3 python3 procps
)
# Wanted, but the tests can do without them: wine32 runs the shipped 32-bit
# build (without it the tests run the 64-bit build), chromium renders the
# theme's pages (without it the page test is reported as skipped).
optional=(wine32:i386 chromium)

src=/etc/apt/sources.list.d/zel-deb-src.sources
stamp=/var/lib/zel-setup.done
lists_sum=$(printf '%s\n' "${packages[@]}" "${optional[@]}" | sha256sum | cut -c1-16)

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# With --if-needed nothing is done when the last set-up ran with these lists
# and every needed package is still there, so the build scripts can call
# this every time.
if [ "${1:-}" = --if-needed ] && [ -f "$src" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$lists_sum" ]; then
  missing=0
  for p in "${packages[@]}"; do
    installed "$p" || missing=1
  done
  [ $missing = 0 ] && exit 0
fi

if [ "$(id -u)" != 0 ]; then
  exec sudo "$0" "$@"
fi

export DEBIAN_FRONTEND=noninteractive

# Wine's 32-bit loader comes from the i386 architecture.
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

# A failed index is retried a few times; if it still fails, apt keeps what
# it has (an older copy or none) and the installs below decide.
for attempt in 1 2 3; do
  apt-get update -q && break
  if [ $attempt = 3 ]; then
    echo "setup: apt-get update failed 3 times; going on with the package indexes that did download" >&2
  else
    echo "setup: apt-get update failed (attempt $attempt of 3); trying again" >&2
    sleep $((attempt * 2))
  fi
done

# Installs the given packages as one consistent set. When a partly failed
# update leaves the halves of a Multi-Arch package at different versions
# (the amd64 half from the security suite, the i386 half only known from
# the release), the release's own versions are one set that fits together:
# first as preferred versions, then, where an installed half is newer than
# anything the other architecture can get, by moving that half to the
# release's version.
install_set() {
  apt-get install -y -q --no-install-recommends "$@" && return 0
  echo "setup: retrying with the release's own package versions" >&2
  apt-get install -y -q --no-install-recommends -o APT::Default-Release=bookworm "$@" && return 0
  echo "setup: retrying with both architectures at the release's versions" >&2
  local pin
  pin=$(mktemp)
  printf 'Package: *\nPin: release n=bookworm,l=Debian\nPin-Priority: 1001\n' >"$pin"
  local rc=0
  apt-get install -y -q --no-install-recommends --allow-downgrades \
    -o Dir::Etc::Preferences="$pin" "$@" || rc=$?
  rm -f "$pin"
  return $rc
}

if ! install_set "${packages[@]}"; then
  echo "setup: the packages the build needs cannot be installed: ${packages[*]}" >&2
  exit 1
fi
for p in "${optional[@]}"; do
  installed "$p" && continue
  install_set "$p" || echo "setup: $p cannot be installed here; the tests go on without it" >&2
done

# Node.js runs the page test; the machine image may already bring its own.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  install_set nodejs npm || echo "setup: nodejs cannot be installed here; the page test will be skipped" >&2
fi

echo "$lists_sum" >"$stamp"
