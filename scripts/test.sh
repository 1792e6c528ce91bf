#!/usr/bin/env bash
# Installs what the tests need (scripts/install_deps.sh), builds, and runs every test: the Linux
# build, the Windows exe under Wine, the Linux tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer and the unit tests under ThreadSanitizer, a bounded run of each
# fuzzer, and the checks of the release packages (the Windows zip, built twice, and the Linux
# install).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install_deps.sh

echo "== layers"
python3 scripts/check_layers.py

if command -v clang-format >/dev/null; then
  echo "== clang-format"
  git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
fi

jobs=$(nproc 2>/dev/null || echo 2)
echo "== windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
cmake --build --preset windows --target package

echo "== fuzzers"
bash scripts/fuzz.sh 20

export REPRENAME_REQUIRE_WINE=1
for preset in default sanitize; do
  echo "== $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

echo "== thread build (the unit tests under ThreadSanitizer, for the reader threads)"
cmake --preset thread >/dev/null
cmake --build --preset thread -j "$jobs"
if build-thread/tests/reprename_tests --gtest_list_tests >/dev/null 2>&1; then
  build-thread/tests/reprename_tests --gtest_brief=1
else
  echo "ThreadSanitizer does not run on this kernel; skipped"
fi

echo "== release packages"
cmake --build --preset default --target package
/usr/bin/python3 tests/release_check.py
