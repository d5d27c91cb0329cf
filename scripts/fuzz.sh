#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset: clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each one for a bounded while, starting
# from its seed corpus in fuzz/corpus/TARGET. FUZZ_SECONDS sets the time per
# target (default 10). Inputs found on the way are kept in build/fuzz/corpus/
# for the next run; an input that breaks a target is left in
# build/fuzz/artifacts/ and its log is shown. Exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

ensure_packages "${BUILD_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"
seconds="${FUZZ_SECONDS:-10}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2

mkdir -p build/fuzz/artifacts
for target in image protocol run; do
  corpus="build/fuzz/corpus/$target"
  log="build/fuzz/fuzz-$target.log"
  mkdir -p "$corpus"
  if ! "build/fuzz/fuzz-$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$target-" \
      "$corpus" "fuzz/corpus/$target" 2>"$log"; then
    tail -n 40 "$log"
    echo "fuzz-$target: FAILED (input in build/fuzz/artifacts/, log in $log)"
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  echo "fuzz-$target: ${runs} inputs in ${seconds}s (${rate}/s), no finding"
done
