#!/bin/sh
# sensorhub.exe as a black box under wine, with no hub present (wine shows only
# its virtual mouse and keyboard, which must not match):
#   blackbox.sh WINE_RUN SENSORHUB_EXE PLANTED_DLL WORK_DIR
# Every refused image gives exactly its message on standard output; a valid
# image gives exactly the no-device message after 20 attempts 500 ms apart
# (about 10 s of real waiting); the exit code is 0 each time. A HID.DLL planted
# beside the program must never be loaded: it would announce itself.
set -eu

wine_run=$1
exe=$2
planted=$3
work=$4

rm -rf "$work"
mkdir -p "$work"
cp "$exe" "$work/sensorhub.exe"
cp "$planted" "$work/HID.DLL"
cd "$work"

open_failed='\n\r========File Open Failed!!========\n\r'
crc_failed='\n\r========CRC check failed!!========\n\r'
no_device='Can not found HID Sensor Device!!\n\r'

# Image bytes, then their CRC-32/JAMCRC (the complement of the common CRC-32,
# which gzip keeps little-endian in its trailer) as 4 little-endian bytes.
jamcrc() {
  for byte in $(gzip -c "$1" | tail -c 8 | head -c 4 | od -An -tu1); do
    printf "\\$(printf '%03o' $((255 - byte)))"
  done
}
common_crc() { gzip -c "$1" | tail -c 8 | head -c 4; }

yes "Velkor sensor hub firmware image" | head -c 28672 >image.raw
{ cat image.raw; jamcrc image.raw; } >valid.bin

# The CRC helper itself, on the published check value of "abc" (3D BE DB CA).
printf abc >abc.raw
[ "$(jamcrc abc.raw | od -An -tx1 | tr -d ' \n')" = 3dbedbca ] || {
  echo "FAIL: the CRC helper is wrong"
  exit 1
}

make_file() {  # make_file PATH KIND
  mkdir -p "$(dirname "$1")"
  case $2 in
    valid) cp valid.bin "$1" ;;
    empty) : >"$1" ;;
    short) printf '\377\377\377' >"$1" ;;
    bad-crc) { cat image.raw; printf '\000\000\000\000'; } >"$1" ;;
    common-crc) { cat image.raw; common_crc image.raw; } >"$1" ;;
    missing) ;;
  esac
}

failures=0
check() {  # check ARGUMENT EXPECTED WHY
  WINE_RUN_TIMEOUT=60 "$wine_run" "$work/sensorhub.exe" "$1" >out.bin 2>err.txt </dev/null &&
    status=0 || status=$?
  printf "$2" >expected.bin
  if [ "$status" -ne 0 ]; then
    echo "FAIL: $3 ($1): exit code $status"
    failures=$((failures + 1))
  elif ! cmp -s out.bin expected.bin; then
    echo "FAIL: $3 ($1): standard output"
    echo "  expected: $(od -An -c expected.bin | tr -s ' ')"
    echo "  got:      $(od -An -c out.bin | tr -s ' ')"
    failures=$((failures + 1))
  else
    echo "ok: $3"
  fi
}

# ARGUMENT | content | expected | why
while IFS='|' read -r argument kind expected why; do
  [ -n "$argument" ] || continue
  make_file "$argument" "$kind"
  check "$argument" "$expected" "$why"
done <<TABLE
img/ab_0000000a.bin|valid|$open_failed|19 code units, a valid name and file
images/firmware_0000000a.BIN|valid|$open_failed|.BIN is not .bin
images/firmware_0000000a.img|valid|$open_failed|no .bin
images/firmware_0000000g.bin|valid|$open_failed|not hexadecimal
images/firmware_FFFFFFFF.bin|valid|$open_failed|version FFFFFFFF
images/firmware_ffffffff.bin|valid|$open_failed|version ffffffff
images/fw.binaries/firmware_00000001.bin|valid|$open_failed|the first .bin decides
images/firmware_00000002.bin|missing|$open_failed|missing file
images/firmware_00000003.bin|empty|$crc_failed|empty file
images/firmware_00000004.bin|short|$crc_failed|3 bytes
images/firmware_00000005.bin|bad-crc|$crc_failed|wrong check value
images/firmware_00000006.bin|common-crc|$crc_failed|common CRC-32 with its final inversion
images/Pr$(printf '\303\274')fung_00000007.bin|bad-crc|$crc_failed|a non-ASCII path reaches the file
TABLE

# A valid image and no hub: 20 attempts, each followed by a real 500 ms wait.
argument=images/firmware_0000000a.bin
make_file "$argument" valid
started=$(date +%s)
check "$argument" "$no_device" "valid image, no hub, planted HID.DLL beside the program"
elapsed=$(($(date +%s) - started))
if [ "$elapsed" -lt 9 ]; then
  echo "FAIL: 20 attempts 500 ms apart took only $elapsed s"
  failures=$((failures + 1))
else
  echo "ok: no-hub run took $elapsed s"
fi

[ "$failures" -eq 0 ] || {
  echo "$failures black-box check(s) failed"
  exit 1
}
