#!/usr/bin/env bash
# Runs sensorhub-sim under valgrind's memcheck on the virtual clock: one
# calibration run of a calibrated hub (erase, then the three steps) and one
# update. Any memory error or leak fails.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages valgrind

build=${1:-build/linux}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

head -c 28672 /dev/urandom > "$work/raw.bin"
"$build/sensorhub-image" make "$work/raw.bin" 0000010A "$work" >/dev/null

memcheck() {
  SENSORHUB_SIM_CLOCK=virtual valgrind --quiet --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=definite,indirect "$build/sensorhub-sim" "$@" </dev/null >"$work/out"
}

echo "memcheck: calibration run with erase"
SENSORHUB_SIM_CALIBRATED=200 memcheck
grep -q "Erase calibrated data" "$work/out"

echo "memcheck: update run"
SENSORHUB_SIM_CALIBRATED=200 memcheck "$work/0000010A.bin"
grep -q "Update Completed" "$work/out"
echo "memcheck: no errors"
