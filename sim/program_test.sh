#!/bin/sh
# Black-box checks of sensorhub-sim on the virtual clock: the exact bytes of a
# run with no hub, an update judged by the hub's dumped memory, and the erase
# of a calibrated hub.
set -eu
sim=$1
image_tool=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
export SENSORHUB_SIM_CLOCK=virtual

fail() {
  echo "FAIL: $*"
  exit 1
}

# No hub: exactly the message, exit code 0, and no real waiting.
start=$(date +%s)
SENSORHUB_SIM_HUB=absent "$sim" </dev/null >"$work/out" || fail "exit code $?"
printf 'Can not found HID Sensor Device!!\n\r' | cmp -s - "$work/out" || fail "no-hub output"
[ $(($(date +%s) - start)) -le 5 ] || fail "waited in real time"

# The hub's memory at start: a pattern with calibration data behind mark 200.
head -c 32768 /dev/urandom >"$work/memory.bin"
printf '\310' | dd of="$work/memory.bin" bs=1 seek=31744 conv=notrunc status=none
head -c 28672 /dev/urandom >"$work/raw.bin"
"$image_tool" make "$work/raw.bin" 0000010A "$work" >/dev/null

# Keep: the new firmware, and the calibration area as the hub had it.
SENSORHUB_SIM_MEMORY="$work/memory.bin" SENSORHUB_SIM_DUMP="$work/dump.bin" \
  "$sim" "$work/0000010A.bin" </dev/null >"$work/out"
grep -q "Update Completed" "$work/out" || fail "keep: not completed"
cmp -s -n 4096 "$work/dump.bin" "$work/memory.bin" || fail "keep: loader area changed"
cmp -s -i 4096:0 -n 27648 "$work/dump.bin" "$work/raw.bin" || fail "keep: firmware"
cmp -s -i 31744:31744 "$work/dump.bin" "$work/memory.bin" || fail "keep: calibration area"

# Full: an uncalibrated hub takes the whole image, its calibration area too.
SENSORHUB_SIM_MEMORY="$work/memory.bin" SENSORHUB_SIM_CALIBRATED=255 \
  SENSORHUB_SIM_DUMP="$work/dump.bin" "$sim" "$work/0000010A.bin" </dev/null >"$work/out"
grep -q "Update Completed" "$work/out" || fail "full: not completed"
cmp -s -i 4096:0 -n 28672 "$work/dump.bin" "$work/raw.bin" || fail "full: firmware"

# Erase: a calibration run of a calibrated hub blanks the calibration but its
# last four bytes (the run then fails its light step, so nothing new is written).
SENSORHUB_SIM_MEMORY="$work/memory.bin" SENSORHUB_SIM_SCENARIO=light-fail \
  SENSORHUB_SIM_DUMP="$work/dump.bin" "$sim" </dev/null >"$work/out"
grep -q "Erase calibrated data" "$work/out" || fail "erase: not told"
cmp -s -n 31744 "$work/dump.bin" "$work/memory.bin" || fail "erase: firmware changed"
head -c 1020 /dev/zero | tr '\000' '\377' >"$work/blank.bin"
cmp -s -i 31744:0 -n 1020 "$work/dump.bin" "$work/blank.bin" || fail "erase: not blank"
cmp -s -i 32764:32764 "$work/dump.bin" "$work/memory.bin" || fail "erase: last four bytes"

echo "sensorhub-sim: all checks passed"
