# Shared by the build scripts (sourced): where the builds go, and which
# architecture this machine's Wine can run.
builds=${ZEL_BUILD_DIR:-$root/build}
jobs=$(nproc)

# configure_build ARCH [cmake options]: every option a run needs is given
# on every run, so that a build folder's cached options never decide it.
configure_build() {
  local arch=$1
  shift
  cmake -S "$root" -B "$builds/$arch" -G Ninja -DZEL_ARCH="$arch" \
    -DZEL_DEPS_DIR="$builds/_deps-src" "$@" >/dev/null
}

# choose_test_arch: sets arch to ZEL_TEST_ARCH when given, else to i686
# where a tiny 32-bit program of the i686 build runs under Wine (its
# winebed_probe target must be built), else to x86_64. Says which, and why.
choose_test_arch() {
  if [ -n "${ZEL_TEST_ARCH:-}" ]; then
    arch=$ZEL_TEST_ARCH
    echo "== using the $arch build (ZEL_TEST_ARCH)"
  elif "$root/tools/winebed/winebed" can-run "$builds/i686/winebed" "$builds/i686/winebed_probe.exe"; then
    arch=i686
    echo "== using the i686 build, the shipped one: this machine runs 32-bit programs under Wine"
  else
    arch=x86_64
    echo "== using the x86_64 build: this machine's Wine runs no 32-bit program"
  fi
}
