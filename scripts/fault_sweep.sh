#!/usr/bin/env bash
# The full fault sweep (as root, minutes): every system call of a group's move across file
# systems, every error of a table and a kill, at every invocation, each run checked for replays
# lost, doubled, partial or left behind. CI runs a bounded part of it with the other tests.
# With --windows, the Windows fault table under Wine instead: its rows, and every call kind of its
# list failed and killed at each of its first 6 invocations, with drive T: on a tmpfs of its own.
#   bash scripts/fault_sweep.sh [--windows]
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --windows ]; then
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target fault_table >/dev/null
  export WINEPREFIX=$PWD/build/wineprefix WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
  drive=$(mktemp -d /tmp/reprename-drive-t-XXXXXX)
  mount -t tmpfs -o size=64m tmpfs "$drive"
  trap 'rm -f "$WINEPREFIX/dosdevices/t:"; umount "$drive"; rmdir "$drive"' EXIT
  wineboot -i >/dev/null 2>&1
  ln -sfn "$drive" "$WINEPREFIX/dosdevices/t:"
  wine build-windows/fault_table.exe --sweep 6 'T:\'
  exit
fi
cmake --preset default >/dev/null
cmake --build --preset default --target reprename reprename_e2e >/dev/null
REPRENAME_FULL_SWEEP=1 build/tests/reprename_e2e --gtest_filter='FaultTable.*'
