#!/usr/bin/env bash
# Mutation testing (scripts/mutation.py): every mutant of FILE..., or of the lines the last commit
# touched, built and tested; one line per file at the end, "path: S% (K killed of N)". Run as root
# for the end-to-end tests that mount file systems.
#   bash scripts/mutation.sh [--most N] [FILE...]
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 scripts/mutation.py "$@"
