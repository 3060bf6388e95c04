#!/usr/bin/env bash
# Sets everything up (packages, build) and runs the whole test suite, then again under ASan + UBSan.
# "./test.sh quick" runs the plain build only; "./test.sh tsan" runs the suite under TSan.
set -euo pipefail
cd "$(dirname "$0")"
mode="${1:-full}"
export QT_QPA_PLATFORM=offscreen

run_suite() {
  scripts/setup.sh "$1"
  ctest --preset "$1" -j2 --timeout 300
}

case "$mode" in
  quick) run_suite default ;;
  tsan) run_suite tsan ;;
  full) run_suite default; run_suite asan ;;
  *) echo "usage: ./test.sh [quick|tsan]" >&2; exit 2 ;;
esac
