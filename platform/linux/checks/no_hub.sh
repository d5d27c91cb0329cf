#!/bin/sh
# sensorhub with no hub: on an empty bus (umockdev-run shows an empty sysfs,
# so the machine's own devices stay out) it searches twenty times, 500 ms
# apart, prints its message and ends with 0.
# Usage: no_hub.sh UMOCKDEV_RUN SENSORHUB
set -u
umockdev_run=$1
program=$2
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

start=$(date +%s%N)
"$umockdev_run" -- "$program" >"$out" 2>"$err" </dev/null
status=$?
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))

fail=0
[ "$status" -eq 0 ] || { echo "exit code $status, expected 0"; fail=1; }
if ! printf 'Can not found HID Sensor Device!!\n\r' | cmp -s - "$out"; then
  echo "standard output differs:"; od -c "$out" | head; fail=1
fi
[ -s "$err" ] && { echo "standard error not empty:"; cat "$err"; fail=1; }
# Twenty pauses of 500 ms; the searches themselves take little.
if [ "$elapsed_ms" -lt 9900 ] || [ "$elapsed_ms" -gt 20000 ]; then
  echo "took $elapsed_ms ms, expected about 10000"; fail=1
fi
[ "$fail" -eq 0 ] && echo "no hub: message after $elapsed_ms ms"
exit "$fail"
