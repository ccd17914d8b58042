#!/usr/bin/env bash
# Sets up the machine when needed, builds the shipped 32-bit program and
# the test build, and runs every test under Wine through ctest.
#
#   ZEL_TEST_ARCH  x86_64 (default) or i686: the build the tests run. Wine
#                  on machines without 32-bit execution runs only x86_64.
#   ZEL_BUILD_DIR  where the builds go (default: build/ in the checkout)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup-debian.sh" --if-needed

builds=${ZEL_BUILD_DIR:-$root/build}
arch=${ZEL_TEST_ARCH:-x86_64}
jobs=$(nproc)

# The shipped program (32-bit, no tests) is built beside the test build; it
# must always build warning-free. Both builds run at once: each spends most
# of its time compiling SQLite on one core.
shipped=
if [ "$arch" != i686 ]; then
  cmake -S "$root" -B "$builds/i686" -G Ninja -DZEL_ARCH=i686 -DZEL_BUILD_TESTS=OFF -DZEL_DEPS_DIR="$builds/_deps-src" >/dev/null
  cmake --build "$builds/i686" -j "$jobs" &
  shipped=$!
fi

cmake -S "$root" -B "$builds/$arch" -G Ninja -DZEL_ARCH="$arch" -DZEL_DEPS_DIR="$builds/_deps-src" >/dev/null
cmake --build "$builds/$arch" -j "$jobs"
if [ -n "$shipped" ]; then
  wait "$shipped"
fi
ctest --test-dir "$builds/$arch" --output-on-failure -j "$jobs" "$@"
