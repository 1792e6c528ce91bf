#!/usr/bin/env bash
# Builds the Debian source and binary packages of the commit HEAD the way Debian's tools do:
# the upstream tarball from git (without debian/), the tree unpacked beside it, and
# dpkg-buildpackage -us -uc there (debian/rules: debhelper, CMake, Debian's hardening flags).
# OUT (build-deb/ by default) then holds reprename_VERSION.orig.tar.gz, the .dsc with its
# .debian.tar.xz, and reprename_VERSION-REVISION_ARCH.deb with its -dbgsym package: the same
# bytes whoever builds them (any user, umask, time zone or locale).
#   bash scripts/debian_package.sh [OUT]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build-deb}")
python3 packaging/history.py NEWS agrees debian/changelog
version=$(python3 packaging/history.py NEWS version)
rm -rf "$out"
mkdir -p "$out"
# Files 0644 and folders 0755 (scripts 0755) in the tarballs, whatever git's and the builder's
# umask say.
git -c tar.umask=0022 archive --format=tar --prefix="reprename-$version/" HEAD -- . ':!debian' |
  gzip -9 -n >"$out/reprename_$version.orig.tar.gz"
git -c tar.umask=0022 archive --format=tar --prefix="reprename-$version/" HEAD |
  tar -x --no-same-owner -C "$out"
chmod -R u+rwX,go+rX,go-w "$out/reprename-$version"
cd "$out/reprename-$version"
dpkg-buildpackage -us -uc -j"$(nproc 2>/dev/null || echo 2)"
