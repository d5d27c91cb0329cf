#!/usr/bin/env bash
# Shows the tool at work on the simulated hub in this terminal: a calibration
# run by default, an update run with an image path. The arguments go to the
# tool; SENSORHUB_SIM_* settings (see README) shape the simulated hub.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

ensure_packages "${BUILD_PACKAGES[@]}"
cmake --preset linux >/dev/null
cmake --build --preset linux -j 2 --target sensorhub-sim >/dev/null
exec build/linux/sensorhub-sim "$@"
