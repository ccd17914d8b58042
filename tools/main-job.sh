#!/usr/bin/env bash
# Sets up the machine when needed, builds the program and runs its main job
# under Wine: an installer's query whether a game is installed
# (zel.exe z <id>), printing the exit code the installer would see.
#
#   tools/main-job.sh [switches...]     default switches: z 1
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup-debian.sh" --if-needed

builds=${ZEL_BUILD_DIR:-$root/build}
arch=${ZEL_TEST_ARCH:-x86_64}
build=$builds/$arch
cmake -S "$root" -B "$build" -G Ninja -DZEL_ARCH="$arch" -DZEL_DEPS_DIR="$builds/_deps-src" >/dev/null
cmake --build "$build" -j "$(nproc)" --target zel

[ $# -gt 0 ] || set -- z 1
bed=$build/winebed
trap '"$root/tools/winebed/winebed" cleanup "$bed"' EXIT
set +e
ZEL_PREFIX=main-job "$root/tools/winebed/winebed" run "$bed" "$build/zel.exe" "$@"
rc=$?
set -e
echo "zel.exe $* -> exit code $rc"
