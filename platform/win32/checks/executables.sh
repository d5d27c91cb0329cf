#!/bin/sh
# The Windows programs as files: they need nothing but the system's own DLLs
# (the C++ runtime and winpthreads are linked in, HID.DLL is bound at run time,
# never imported), and sensorhub.exe carries its version resource.
#   executables.sh OBJDUMP WINDRES SENSORHUB_EXE [OTHER_EXE...]
set -eu

objdump=$1
windres=$2
shift 2
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for exe in "$@"; do
  imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort)
  [ -n "$imports" ] || fail "$exe: no import table found"
  for dll in $imports; do
    case $dll in
      kernel32.dll | msvcrt.dll | setupapi.dll | user32.dll) ;;
      *) fail "$(basename "$exe") imports $dll" ;;
    esac
  done
  echo "ok: $(basename "$exe") imports only $(echo $imports)"
done

resources=$("$windres" -i "$1" -O rc)
for text in 'FILEVERSION 1, 70, 0, 0' \
  'VALUE "FileDescription", "Velkor Sensor Calibration & Validation Tool"' \
  'VALUE "OriginalFilename", "sensorhub.exe"'; do
  case $resources in
    *"$text"*) echo "ok: $(basename "$1"): $text" ;;
    *) fail "$(basename "$1") lacks $text" ;;
  esac
done

[ "$failures" -eq 0 ]
