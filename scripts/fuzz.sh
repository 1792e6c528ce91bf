#!/usr/bin/env bash
# Builds the libFuzzer targets with AddressSanitizer and UndefinedBehaviorSanitizer and runs each
# for a bounded time, starting from the corpus in fuzz/corpus (left unchanged). Any crash or
# sanitizer report fails it.
#   bash scripts/fuzz.sh [SECONDS_PER_TARGET]   (20 by default)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
root=$(pwd)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc 2>/dev/null || echo 2)" \
  --target fuzz_compose fuzz_command_line fuzz_answers

work=$(mktemp -d "${TMPDIR:-/tmp}/reprename-fuzz-XXXXXX")
trap 'rm -rf "$work"' EXIT
for target in compose command_line answers; do
  echo "== fuzz_$target for ${seconds}s"
  mkdir -p "$work/$target"
  cp fuzz/corpus/$target/* "$work/$target/"
  (cd "$work" && "$root/build-fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=0 "$work/$target" 2>"$work/$target.log") || {
    tail -n 60 "$work/$target.log"
    echo "fuzz_$target found a problem; the input that caused it is in the log above"
    exit 1
  }
  grep -E '^#[0-9]+ +DONE' "$work/$target.log" || tail -n 2 "$work/$target.log"
done
