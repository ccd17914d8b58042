#!/usr/bin/env bash
# Sets up the machine when needed, builds the program and runs its main job
# under Wine, the way an installer and then the user drive it:
#   1. import the default theme from its database and select it (b, t),
#   2. ask whether game 1 is installed (z),
#   3. start the manager interactively with its window shown (d) and let it
#      load and fill its page,
#   4. ask the running copy to exit, as an uninstaller does (x, e).
# Every step prints the exit code the caller sees.
#
# Wine here has no HTML engine of its own, so the prefix gets the test
# bed's stand-in engine registered; on Windows the real WebBrowser is used.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup-debian.sh" --if-needed
# shellcheck source=tools/builds.sh
. "$root/tools/builds.sh"

# The shipped 32-bit program where this machine's Wine runs it, else the
# 64-bit build of the same sources (ZEL_TEST_ARCH chooses either).
configure_build i686 -DZEL_BUILD_TESTS=ON
cmake --build "$builds/i686" -j "$jobs" --target winebed_probe
choose_test_arch
build=$builds/$arch
configure_build "$arch" -DZEL_BUILD_TESTS=ON
cmake --build "$build" -j "$jobs" --target zel theme_default htmlengine_setup

bed=$build/winebed
winebed=$root/tools/winebed/winebed
trap '"$winebed" cleanup "$bed"' EXIT
export ZEL_PREFIX=main-job
export ZEL_PREFIX_INIT="$build/htmlengine/htmlengine_setup.exe on"

# A Windows path for a file of the build tree (Wine maps Z: to /).
winpath() {
  local p=${1//\//\\}
  echo "Z:$p"
}

# The program as an installer puts it: in its own folder, recorded under
# the product key with the version that knows the exit event.
"$winebed" shell "$bed" bash -c '
  set -e
  dir=$WINEPREFIX/drive_c/Games/Zel
  mkdir -p "$dir"
  cp "$1" "$dir/zel.exe"
  cp "$2" "$dir/default.dll"
  "$ZEL_WINE_LOADER" reg add "HKCU\\Software\\zel" /ve /d "C:\\Games\\Zel" /f >/dev/null 2>&1
  "$ZEL_WINE_LOADER" reg add "HKCU\\Software\\zel" /v ver /t REG_DWORD /d 0x42a0000 /f >/dev/null 2>&1
' _ "$build/zel.exe" "$build/themes/default.dll"
zel='C:\Games\Zel\zel.exe'

step() {
  local what=$1
  shift
  set +e
  "$winebed" run "$bed" "$zel" "$@"
  local rc=$?
  set -e
  printf '%-48s zel.exe %s -> exit code %d\n' "$what" "$*" "$rc"
}

step "import the default theme" b "$(winpath "$build/themes/default.db")" v 1 e 1
step "select it" t default e 1
step "is game 1 installed? (3 yes, 10 no)" z 1

# The interactive manager, shown once its page has loaded.
"$winebed" run "$bed" "$zel" d 1 &
manager=$!
sleep 8
step "ask the running manager to exit (7: it ended)" x 1 e 1
set +e
wait "$manager"
rc=$?
set -e
printf '%-48s zel.exe %s -> exit code %d\n' "the interactive manager ended" "d 1" "$rc"
