#!/bin/sh
# Black-box check of the built sensorhub-image: make images, check them, and
# see it refuse what the station tool would refuse.
#   image_tool_test.sh PROGRAM WORK_FOLDER
set -u
tool=$1
work=$2
rm -rf "$work"
mkdir -p "$work/firmware/images" || exit 1
cd "$work" || exit 1
images=$work/firmware/images
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# make: RAW, then its CRC-32/JAMCRC least significant byte first.
printf '123456789' > raw
"$tool" make raw 0000000A "$images" > make.out || fail "make exited $?"
printf '123456789\331\306\013\064' > expected
cmp -s expected "$images/0000000A.bin" || fail "made image is not RAW and D9 C6 0B 34"

# check accepts it and tells what a download takes.
"$tool" check "$images/0000000A.bin" > check.out || fail "check refused a made image"
grep -q 'accepted' check.out || fail "check did not say accepted"
grep -q 'A download takes 9 image bytes' check.out || fail "check did not tell the download size"
grep -q 'shorter than the 28672' check.out || fail "check did not flag a short image"

# An empty RAW makes the 4 bytes FF FF FF FF, which the tool accepts.
: > empty
"$tool" make empty 0000000e "$images" > /dev/null || fail "make of an empty image exited $?"
printf '\377\377\377\377' > expected
cmp -s expected "$images/0000000e.bin" || fail "empty image is not FF FF FF FF"
"$tool" check "$images/0000000e.bin" > /dev/null || fail "check refused the empty image"

# One image byte changed: refused, non-zero.
printf '123456780\331\306\013\064' > "$images/0000000B.bin"
if "$tool" check "$images/0000000B.bin" > bad.out; then fail "check accepted a bad CRC"; fi
grep -q 'CRC check failed' bad.out || fail "bad CRC not named"

# The whole path counts: 12 code units are too few.
if (cd "$images" && "$tool" check 0000000A.bin) > short.out; then
  fail "check accepted a path of 12 units"
fi
grep -q 'File Open Failed' short.out || fail "short path not named"

# A version the tool takes for invalid is never written.
if "$tool" make raw ffffffff "$images" > reserved.out; then fail "make accepted ffffffff"; fi
[ -e "$images/ffffffff.bin" ] && fail "make wrote ffffffff.bin"

# Wrong usage.
"$tool" > /dev/null
[ $? -eq 2 ] || fail "usage did not exit 2"

[ "$failures" -eq 0 ] && echo "sensorhub-image: all checks passed"
[ "$failures" -eq 0 ]
