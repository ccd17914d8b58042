#!/usr/bin/env bash
# Sets up the machine when needed, builds both architectures with their
# tests, and runs every test under Wine through ctest on one of them:
# the shipped 32-bit build wherever this machine's Wine runs 32-bit
# programs, the 64-bit build of the same sources where it does not.
#
#   ZEL_TEST_ARCH  i686 or x86_64: test that build, without probing
#   ZEL_BUILD_DIR  where the builds go (default: build/ in the checkout)
#
# Arguments are passed on to ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup-debian.sh" --if-needed
# shellcheck source=tools/builds.sh
. "$root/tools/builds.sh"

# Both architectures' programs and tests are built on every run, so a fault
# that shows in one of them only (a calling convention, a pointer size, a
# structure layout) cannot go unseen. Each spends most of its time compiling
# SQLite on one core, so they build at once.
configure_build i686 -DZEL_BUILD_TESTS=ON
configure_build x86_64 -DZEL_BUILD_TESTS=ON
cmake --build "$builds/i686" -j "$jobs" &
i686_build=$!
cmake --build "$builds/x86_64" -j "$jobs"
wait "$i686_build"

choose_test_arch
ctest --test-dir "$builds/$arch" --output-on-failure --no-tests=error -j "$jobs" "$@"
