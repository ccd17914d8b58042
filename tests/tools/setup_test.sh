#!/usr/bin/env bash
# tools/setup-debian.sh against a package mirror that misbehaves. apt-get,
# dpkg and dpkg-query are stand-ins first on PATH, and the set-up's own
# files land on scratch mounts of a private mount namespace, so the test
# changes nothing on the machine.
#
#   setup_test.sh SETUP_SCRIPT
set -uo pipefail
setup=$(realpath "$1")

if [ "$(id -u)" != 0 ] || ! unshare --mount true 2>/dev/null; then
  echo "skipped: needs root and a private mount namespace"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bin=$work/bin
mkdir -p "$bin"

# apt-get: "update" exits with $UPDATE_RC; "install" succeeds only when its
# arguments contain $INSTALL_NEEDS (or always, when that is empty), and
# never for a package named in $UNINSTALLABLE.
cat >"$bin/apt-get" <<'STANDIN'
#!/usr/bin/env bash
echo "apt-get $*" >>"$CALLS"
case $1 in
  update) exit "${UPDATE_RC:-0}" ;;
  install)
    for p in $UNINSTALLABLE; do
      [[ " $* " == *" $p "* ]] && exit 100
    done
    [ -z "${INSTALL_NEEDS:-}" ] || [[ "$*" == *"$INSTALL_NEEDS"* ]] || exit 100
    exit 0 ;;
esac
STANDIN
cat >"$bin/dpkg" <<'STANDIN'
#!/usr/bin/env bash
[ "$1" = --print-foreign-architectures ] && echo i386
exit 0
STANDIN
# Nothing is installed: every check asks for the install steps.
printf '#!/bin/sh\nexit 1\n' >"$bin/dpkg-query"
printf '#!/bin/sh\nexit 0\n' >"$bin/sleep"
chmod +x "$bin"/*

passed=0
failures=0
pass() { echo "ok: $1"; passed=$((passed + 1)); }
fail() { echo "FAILED: $1"; failures=$((failures + 1)); }
# case NAME EXPECTED_RC ENV... : runs the set-up once and checks its exit code
# and, with EXPECT_CALL set, that one apt-get call matched it.
case_() {
  local name=$1 want=$2
  shift 2
  : >"$work/calls"
  local rc=0
  env "$@" CALLS="$work/calls" PATH="$bin:$PATH" UNINSTALLABLE="${UNINSTALLABLE:-}" \
    unshare --mount bash -c '
      mount -t tmpfs none /etc/apt/sources.list.d && mount -t tmpfs none /var/lib && exec "$0"
    ' "$setup" >"$work/out" 2>&1 || rc=$?
  local ok=1
  [ "$rc" = "$want" ] || ok=0
  if [ -n "${EXPECT_CALL:-}" ] && ! grep -q -- "$EXPECT_CALL" "$work/calls"; then
    ok=0
  fi
  if [ $ok = 1 ]; then
    pass "$name"
  else
    fail "$name (exit code $rc, wanted $want)"
    sed 's/^/  | /' "$work/out" "$work/calls"
  fi
}

EXPECT_CALL='install -y -q --no-install-recommends ca-certificates' \
  case_ "an index that never downloads: the set-up goes on and installs" 0 UPDATE_RC=100
if [ "$(grep -c '^apt-get update' "$work/calls")" = 3 ]; then pass "update is tried 3 times"; else fail "update is tried 3 times"; fi

EXPECT_CALL='APT::Default-Release=bookworm' \
  case_ "halves of a package at different versions: the release's set is installed" 0 \
  UPDATE_RC=100 INSTALL_NEEDS=APT::Default-Release=bookworm

EXPECT_CALL='Dir::Etc::Preferences=' \
  case_ "an installed half newer than the other architecture can get: both move to the release" 0 \
  UPDATE_RC=100 INSTALL_NEEDS=--allow-downgrades

UNINSTALLABLE='wine32:i386 chromium' \
  case_ "optional packages that cannot be installed do not stop the set-up" 0 UPDATE_RC=100

UNINSTALLABLE=cmake \
  case_ "a needed package that cannot be installed stops the set-up" 1 UPDATE_RC=100
if grep -q 'cannot be installed' "$work/out"; then pass "it says why"; else fail "it says why"; fi

echo "$passed passed, $failures failed"
[ $failures = 0 ]
