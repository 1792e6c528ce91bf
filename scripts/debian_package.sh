#!/usr/bin/env bash
# Builds the Debian source and binary packages of the commit HEAD the way Debian's tools do:
# the upstream tarball from git (without debian/), the tree unpacked beside it, and
# dpkg-buildpackage -us -uc there (debian/rules: debhelper, CMake, Debian's hardening flags).
# OUT (build-deb/ by default) then holds reprename_VERSION.orig.tar.gz, the .dsc with its
# .debian.tar.xz, and reprename_VERSION-REVISION_ARCH.deb with its -dbgsym package.
#   bash scripts/debian_package.sh [OUT]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build-deb}")
version=$(python3 packaging/history.py debian/changelog version)
rm -rf "$out"
mkdir -p "$out"
git archive --format=tar --prefix="reprename-$version/" HEAD -- . ':!debian' |
  gzip -9 -n >"$out/reprename_$version.orig.tar.gz"
git archive --format=tar --prefix="reprename-$version/" HEAD | tar -x -C "$out"
cd "$out/reprename-$version"
dpkg-buildpackage -us -uc -j"$(nproc 2>/dev/null || echo 2)"
