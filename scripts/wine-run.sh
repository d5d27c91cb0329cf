#!/bin/sh
# Runs a Windows program of a MinGW build under wine:
#   scripts/wine-run.sh build/mingw64/sensorhub.exe [arguments...]
#   scripts/wine-run.sh --boot build/mingw64     (only create the prefix)
# The wine prefix lives in the build folder (the one holding CMakeCache.txt
# above the program) and is created with wineboot on first use. No display,
# no wine debug output, and a time limit (WINE_RUN_TIMEOUT seconds, default
# 300). The program's exit code is passed on; 124 means it ran out of time.
# CTest uses this script as the cross-compiling emulator of the mingw64 build.
set -eu

usage() {
  echo "usage: $0 PROGRAM.exe [ARGUMENTS...] | $0 --boot BUILD_DIR" >&2
  exit 2
}

[ $# -ge 1 ] || usage
boot_only=0
if [ "$1" = --boot ]; then
  [ $# -eq 2 ] || usage
  boot_only=1
fi

start=$(if [ $boot_only = 1 ]; then echo "$2"; else dirname "$1"; fi)
case $start in
  /*) build=$start ;;
  *) build=$PWD/$start ;;
esac
while [ ! -f "$build/CMakeCache.txt" ]; do
  if [ "$build" = / ] || [ "$build" = . ]; then
    echo "$0: $start is not inside a CMake build folder" >&2
    exit 2
  fi
  build=$(dirname "$build")
done

WINEPREFIX=$build/wineprefix
WINEDEBUG=-all
# Gecko and Mono are neither needed nor fetched: wineboot would offer them.
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY

# The first use creates the prefix; parallel runs wait for it.
if [ ! -f "$WINEPREFIX/.booted" ]; then
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.booted" ]; then
      timeout 300 wineboot --init >"$build/wineboot.log" 2>&1 </dev/null
      # Its services settle before the first program looks for devices.
      timeout 60 wineserver -w
      touch "$WINEPREFIX/.booted"
    fi
  ) 9>"$build/wineprefix.lock"
fi
[ $boot_only = 0 ] || exit 0

# Wine's services start with the first program of a session and keep the
# standard handles it had. Started here with none, they cannot hold the
# program's output pipe open after it ends (CTest waits for that pipe).
timeout 60 wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

program=$1
shift
exec timeout "${WINE_RUN_TIMEOUT:-300}" wine "$program" "$@"
