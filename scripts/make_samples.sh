#!/usr/bin/env bash
# Writes the bundled sample replays with the replay writer (build/write_replay).
set -euo pipefail
cd "$(dirname "$0")/.."
w=build/write_replay
#  file                    name      mm dd  1P c1 c2  2P c1 c2 stage size
$w samples/rep_0001.rep   "Finals"   12 31   0  0  0   1  0  0   0  4096
$w samples/rep_0002.rep   "Finals"   12 31   0  2  1   1  1  2  10  4096
$w samples/rep_0003.rep   " vs Ish"   1  5   2  1  0   2  0  2   3  4096
$w samples/rep_0004.rep   "Night!"    7  4   5  0  1   8  2  2  13  4096
$w samples/rep_0005.rep   "training"  9 14  10  2  2   4  1  0  20  4096
$w samples/rep_0006.rep   "AAAAAAAA"  3  9   6  1  1   9  0  1  17  4096
