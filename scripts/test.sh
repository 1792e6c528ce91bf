#!/usr/bin/env bash
# Installs what the tests need (Debian, as root), builds, and runs every test: the Linux build,
# the Windows exe under Wine, the Linux tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, a bounded run of each fuzzer, and the checks of the release
# packages (the Windows zip, built twice, and the Linux install).
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v git >/dev/null || need+=(git)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
command -v wine >/dev/null || need+=(wine wine64)
command -v localedef >/dev/null || need+=(locales)
command -v clang++ >/dev/null || need+=(clang)
compgen -G '/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a' >/dev/null ||
  need+=(libclang-rt-14-dev)
command -v strace >/dev/null || need+=(strace)
/usr/bin/python3 -c 'import pefile' 2>/dev/null || need+=(python3-pefile)
command -v man >/dev/null || need+=(man-db)
command -v mount.exfat-fuse >/dev/null || need+=(exfat-fuse)
command -v mkfs.exfat >/dev/null || need+=(exfatprogs)
command -v desktop-file-validate >/dev/null || need+=(desktop-file-utils)
command -v update-mime-database >/dev/null || need+=(shared-mime-info)
command -v xdg-mime >/dev/null || need+=(xdg-utils)
command -v mimetype >/dev/null || need+=(libfile-mimeinfo-perl)
if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi
# Wine takes its code pages from the locale: 932 as a Japanese Windows has it, 1252 as an
# English one, 936 as a Chinese one. The Wine tests run the exe in all three.
for loc in ja_JP en_US zh_CN; do
  if ! locale -a 2>/dev/null | grep -qi "^$loc\.utf-\?8$"; then
    localedef -i "$loc" -f UTF-8 "$loc.UTF-8"
  fi
done

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
