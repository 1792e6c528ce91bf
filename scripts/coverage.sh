#!/usr/bin/env bash
# Line and branch coverage of src/ by the tests, per file, with gcovr (as root, for the tests
# that mount file systems and inject faults): the Linux build's unit and end-to-end tests
# (without Wine) in build-coverage/, without the *_win32 files; or, with --windows, the *_win32
# files, and the console keys only Windows reads, as the Wine tests and the Windows fault table
# (a sweep of 3) exercise a MinGW build made with --coverage, whose runtime writes its counts as
# each exe ends under Wine. Every line not run
# is listed with why, from scripts/coverage_reasons.txt; a line not covered and not explained
# there fails the run, as do totals below 98% of the lines and 90% of the branches (Linux), 90%
# and 75% (Windows).
#   bash scripts/coverage.sh [--windows]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
build=build-coverage
if [ "${1:-}" = --windows ]; then
  wbuild=build-coverage-windows
  cmake -S . -B "$wbuild" --toolchain cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS="--coverage -O0 -fprofile-update=atomic" -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
  cmake --build "$wbuild" -j "$jobs" --target reprename hold_files reprename_faults fault_table >/dev/null
  find "$wbuild" -name '*.gcda' -delete
  cmake -S . -B "$build" -DREPRENAME_WINDOWS_BUILD_DIR="$PWD/$wbuild" >/dev/null
  cmake --build "$build" -j "$jobs" --target reprename_wine_e2e >/dev/null
  status=0
  REPRENAME_REQUIRE_WINE=1 REPRENAME_WINDOWS_SWEEP=3 "$build/tests/reprename_wine_e2e" \
    --gtest_brief=1 | grep -v "^Running main" || status=$?
  cmake -S . -B "$build" -DREPRENAME_WINDOWS_BUILD_DIR="$PWD/build-windows" >/dev/null
  [ "$status" = 0 ] || { echo "the Wine tests failed"; exit 1; }
  echo "== the Windows layer, from the Wine tests"
  wfilters=(--root . --object-directory "$wbuild" --gcov-executable x86_64-w64-mingw32-gcov
            --filter 'src/.*_win32\.cpp' --filter 'src/portable/key_wait_keys\.cpp'
            --exclude-unreachable-branches --exclude-throw-branches)
  gcovr "${wfilters[@]}" --txt --print-summary "$wbuild" 2>/dev/null
  gcovr "${wfilters[@]}" --json "$wbuild/coverage.json" "$wbuild" 2>/dev/null
  exec python3 scripts/coverage_report.py "$wbuild/coverage.json" scripts/coverage_reasons.txt 90 75
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DREPRENAME_WERROR=ON \
  -DCMAKE_CXX_FLAGS="--coverage -O0 -fprofile-update=atomic" -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
find "$build" -name "*.gcda" -delete 2>/dev/null || true  # the build lists the tests by running them
cmake --build "$build" -j "$jobs" --target reprename reprename_tests reprename_e2e >/dev/null
find "$build" -name "*.gcda" -delete
chmod -R a+rwX "$build"  # a test runs the tool as another user, who writes its counts too
umask 000              # into the same files
"$build/tests/reprename_tests" --gtest_brief=1 | grep -v "^Running main"
# The fault table's runs keep their counts apart, each merged in unless a fault spoiled it:
# first into a folder of the tool's counts alone (fast), then that into the build's.
runs=/tmp/reprename-coverage-runs
rm -rf "$runs" "$runs.sum" "$runs.check"
REPRENAME_GCOV_RUNS=$runs REPRENAME_ERROR_SWEEP=1 "$build/tests/reprename_e2e" --gtest_brief=1 |
  grep -v "^Running main\|runs:\|trials of"
merged=0
spoiled=0
sum=$runs.sum
for run in "$runs"/*/; do
  counts=$run${PWD#/}/$build
  if [ ! -d "$sum" ]; then
    gcov-tool merge -o "$runs.check" "$counts" "$counts" >/dev/null 2>&1 && cp -r "$counts" "$sum"
  else
    gcov-tool merge -o "$sum.new" "$sum" "$counts" >/dev/null 2>&1 &&
      rm -rf "$sum" && mv "$sum.new" "$sum"
  fi && merged=$((merged + 1)) || { spoiled=$((spoiled + 1)); rm -rf "$sum.new"; }
done
# The tool's own objects only: the build folder also holds the Wine tests' prefix, whose drive
# Z: is the whole machine.
[ ! -d "$sum" ] || gcov-tool merge -o "$build/CMakeFiles" "$build/CMakeFiles" "$sum/CMakeFiles"
echo "fault runs: $merged merged, $spoiled spoiled by a fault in their counts' own writes"
rm -rf "$runs" "$runs.sum" "$runs.check"
filters=(--root . --object-directory "$build"
         --exclude-directories '.*wineprefix' --exclude-directories '.*CompilerId.*'
         --filter 'src/' --exclude '.*_test\.cpp'
         --exclude '.*_win32\.(cpp|h)' --exclude 'src/driver/main\.cpp'
         --exclude 'src/portable/key_wait_keys\.cpp'
         --exclude-unreachable-branches --exclude-throw-branches)
gcovr "${filters[@]}" --txt --print-summary "$build" | tee "$build/summary.txt"
gcovr "${filters[@]}" --json "$build/coverage.json" "$build" >/dev/null
python3 scripts/coverage_report.py "$build/coverage.json" scripts/coverage_reasons.txt
