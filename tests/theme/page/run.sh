#!/bin/sh
# Runs the page test under node's test runner. Exit code 77 (reported by
# ctest as skipped, never as passed) when what it needs is not installed.
chromium=${ZEL_CHROMIUM:-/usr/bin/chromium}
skip() {
  echo "theme_page: skipped: $1"
  exit 77
}
command -v node >/dev/null 2>&1 || skip "node is not installed"
[ -x "$chromium" ] || skip "chromium is not installed ($chromium)"
[ -d "${NODE_PATH:-}/puppeteer-core" ] || skip "the npm packages are not installed (npm missing at build time)"
[ -f "${ZEL_PAGE_TRACE:-}" ] || { echo "theme_page: no page trace at ${ZEL_PAGE_TRACE:-?}" >&2; exit 1; }
export ZEL_CHROMIUM="$chromium"
exec node --test --test-reporter=spec "$(dirname "$0")/page.test.js"
