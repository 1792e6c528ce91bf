#!/usr/bin/env bash
# Installs what the tests need (Debian, as root), builds, and runs every test: the normal build,
# then the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi

if command -v clang-format >/dev/null; then
  echo "== clang-format"
  git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
fi

jobs=$(nproc 2>/dev/null || echo 2)
for preset in default sanitize; do
  echo "== $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
