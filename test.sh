#!/usr/bin/env bash
# Sets everything up (packages, build) and runs the whole test suite: the plain build, the threaded
# engine, player and queue tests under TSan, then everything again under ASan + UBSan.
# "./test.sh quick" runs the plain build only; "./test.sh tsan" runs the whole suite under TSan.
set -euo pipefail
cd "$(dirname "$0")"
mode="${1:-full}"
export QT_QPA_PLATFORM=offscreen
export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp second_deadlock_stack=1"

run_suite() {
  scripts/setup.sh "$1"
  ctest --preset "$1" -j2 --timeout 300
}

# The engine's thread, component and output-path tests, the player's tests and the queue's background
# probing and size sampling are the threaded ones (the driver's run of a thousand files is left out: it is slow under
# TSan and starts nothing the other runs do not).
run_threaded_under_tsan() {
  scripts/setup.sh tsan tvl_testmedia engine_run_tests engine_path_tests player_tests convert_tests
  for t in engine_run_tests engine_path_tests player_tests; do
    build-tsan/tests/$t --gtest_brief=1
  done
  build-tsan/tests/convert_tests --gtest_brief=1 --gtest_filter='TConvertTest.*:TSizeSamplingTest.*:-TConvertTest.ARunTakesTheFirstThousandFiles'
}

case "$mode" in
  quick) run_suite default ;;
  tsan) run_suite tsan ;;
  full) run_suite default; run_threaded_under_tsan; run_suite asan ;;
  *) echo "usage: ./test.sh [quick|tsan]" >&2; exit 2 ;;
esac
