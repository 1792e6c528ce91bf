#!/usr/bin/env bash
# Installs what the build and the tests need (Debian, as root, with apt-get) and makes the
# locales the Wine tests run the exe in. Does nothing where everything is there already.
set -euo pipefail

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
# The Debian packages and a real desktop session: debhelper, lintian, dpkg-shlibdeps, Xvfb, a
# terminal, typed keys and gio; appstreamcli for the metainfo software centres read.
command -v lintian >/dev/null || need+=(lintian)
command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
command -v dh >/dev/null || need+=(debhelper)
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xterm >/dev/null || need+=(xterm)
command -v xdotool >/dev/null || need+=(xdotool)
command -v gio >/dev/null || need+=(libglib2.0-bin)
command -v appstreamcli >/dev/null || need+=(appstream)
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
