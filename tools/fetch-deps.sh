#!/usr/bin/env bash
# Fetches Debian's source packages of SQLite and jansson into DEST (with
# Debian's patches applied) and generates the SQLite amalgamation there.
# Runs unprivileged; does nothing when DEST is already complete.
set -euo pipefail
dest=$1
stamp=$dest/.complete
[ -f "$stamp" ] && exit 0
rm -rf "$dest"
mkdir -p "$dest"
cd "$dest"
apt-get source -q sqlite3 jansson >fetch.log 2>&1 || { cat fetch.log >&2; exit 1; }
sqsrc=$(find . -maxdepth 1 -type d -name 'sqlite3-*' | head -n1)
jsrc=$(find . -maxdepth 1 -type d -name 'jansson-*' | head -n1)
[ -n "$sqsrc" ] && [ -n "$jsrc" ] || { echo "fetch-deps: sources missing" >&2; exit 1; }
ln -sfn "$jsrc" jansson
mkdir -p sqlite-amalgamation
(
  cd sqlite-amalgamation
  # The amalgamation is generated with the host compiler, whatever
  # compiler the calling build has put into the environment.
  env -u CC -u CXX -u CFLAGS -u CXXFLAGS -u LDFLAGS CC=gcc \
    "../$sqsrc/configure" --disable-tcl --disable-readline --disable-editline \
    --disable-load-extension >configure.log 2>&1
  env -u CC -u CFLAGS make sqlite3.c sqlite3.h >make.log 2>&1
) || { tail -n 20 sqlite-amalgamation/*.log >&2; exit 1; }
mkdir -p sqlite
cp sqlite-amalgamation/sqlite3.c sqlite-amalgamation/sqlite3.h sqlite/
rm -rf sqlite-amalgamation "$sqsrc" *.tar.* *.dsc
touch "$stamp"
