#!/usr/bin/env bash
# Builds reprename and renames copies of the bundled sample replays in a scratch folder, so the
# samples themselves stay as they are. The answers to the two prompts come from this script.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset default >/dev/null
cmake --build --preset default --target reprename -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

scratch=$(mktemp -d "${TMPDIR:-/tmp}/reprename-demo-XXXXXX")
cp samples/*.rep "$scratch/"
mkdir "$scratch/renamed"

format='/d_/n_/1vs/2_/j'
echo "Renaming copies of the samples in $scratch"
echo "Answers: destination '$scratch/renamed', format '$format'"
echo "------------------------------------------------------------------------"
printf '%s\n%s\n' "$scratch/renamed" "$format" | build/reprename "$scratch"/*.rep || true
echo "------------------------------------------------------------------------"
echo "Now in $scratch/renamed:"
ls -1 "$scratch/renamed"
echo
echo "On your own replays, answering the prompts yourself:  build/reprename path/to/*.rep"
