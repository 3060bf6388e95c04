#!/usr/bin/env bash
# Sets everything up (packages, build) and runs the whole test suite: the plain build, the threaded
# tests under TSan (engine, player, conversion driver, progress window and main window), then
# everything again under ASan + UBSan.
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

# The threaded tests: the engine's thread, component and output-path tests, the player's tests, and
# the driver, progress window and main window tests, whose runs hand work between the engine's
# workers and the main thread.
threaded_tests=(engine_run_tests engine_path_tests player_tests convert_tests convert_gui_tests app_tests)
run_threaded_under_tsan() {
  scripts/setup.sh tsan tvl_testmedia "${threaded_tests[@]}"
  for t in "${threaded_tests[@]}"; do
    build-tsan/tests/$t --gtest_brief=1
  done
}

case "$mode" in
  quick) run_suite default ;;
  tsan) run_suite tsan ;;
  full) run_suite default; run_threaded_under_tsan; run_suite asan ;;
  *) echo "usage: ./test.sh [quick|tsan]" >&2; exit 2 ;;
esac
