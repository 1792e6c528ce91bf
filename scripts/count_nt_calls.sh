#!/usr/bin/env bash
# Counts the NT calls reprename.exe makes per replay under Wine's +relay trace, renaming a dropped
# folder on one drive (and, with a drive T: given as a folder, into another drive): the calls of
# a run over 500 replays less those of a run over 100, divided by 400, so that start-up and the
# dialogue drop out. Run by hand; needs wine and build-windows/reprename.exe.
#   bash scripts/count_nt_calls.sh [FOLDER_FOR_DRIVE_T]
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$PWD/build-windows/reprename.exe
writer=$PWD/build/write_replay
other=${1:-}
work=$(mktemp -d /tmp/reprename-relay-XXXXXX)
trap 'rm -rf "$work"; [ -n "$other" ] && rm -f "$WINEPREFIX/dosdevices/t:"' EXIT
export WINEPREFIX=${WINEPREFIX:-$PWD/build/wineprefix} LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
[ -n "$other" ] && ln -sfn "$other" "$WINEPREFIX/dosdevices/t:"

# The NT calls of the exe's own process in one run over `count` replays.
calls() {
  local count=$1 destination=$2 folder=$work/d$1
  mkdir -p "$folder"
  for i in $(seq 1 "$count"); do "$writer" "$folder/r$i.rep" "n$i" 1 1 0 0 0 0 0 0 0; done
  printf '%s\r\n\r\n' "$destination" |
    WINEDEBUG=+pid,+relay wine "$exe" "Z:${folder//\//\\}" >/dev/null 2>"$work/relay$count.log"
  local pid
  pid=$(grep -m1 'Call KERNEL32.GetErrorMode' "$work/relay$count.log" | cut -d: -f1)  # only the exe asks
  grep "^$pid:[0-9a-f]*:Call ntdll\.\(Nt\|Zw\)" "$work/relay$count.log" |
    sed 's/.*Call ntdll\.\([A-Za-z]*\).*/\1/' | sort | uniq -c >"$work/calls$count"
  awk '{n += $1} END {print n}' "$work/calls$count"
  rm -rf "$folder"
  [ -n "$other" ] && rm -f "$other"/*.rep
  return 0
}

for target in same other; do
  [ "$target" = other ] && [ -z "$other" ] && break
  destination=""
  [ "$target" = other ] && destination='T:\'
  small=$(calls 100 "$destination")
  large=$(calls 500 "$destination")
  echo "$target drive: $(awk -v a="$small" -v b="$large" 'BEGIN {printf "%.2f", (b - a) / 400}') NT calls per replay"
  join -1 2 -2 2 -a 2 -e 0 -o 0,1.1,2.1 <(sort -k2 "$work/calls100") <(sort -k2 "$work/calls500") |
    awk '{d = ($3 - $2) / 400; if (d >= 0.01) printf "  %-32s %.2f\n", $1, d}'
done
