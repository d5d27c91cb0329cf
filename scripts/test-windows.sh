#!/usr/bin/env bash
# The Windows builds and their checks under wine:
#   scripts/test-windows.sh
# Installs what is missing (MinGW-w64, wine, tmux), builds the mingw64 and
# mingw32 presets (warnings are errors), runs the mingw64 suite under wine
# (ctest --preset mingw64: the unit and scenario tests, the backend tests,
# sensorhub.exe as a black box, sensorhub-sim.exe's screen in tmux) and checks
# the 32-bit programs as files; the 32-bit build's structure sizes are checked
# by static_assert as it compiles (Debian's wine runs 64-bit programs only).
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

ensure_packages "${BUILD_PACKAGES[@]}" googletest \
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix tmux

# Wine with its recommended libraries, as the checks were measured with (its
# device bus and window layer look for them at start).
missing_wine=()
for package in wine wine64; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing_wine+=("$package")
done
if [ ${#missing_wine[@]} -gt 0 ]; then
  sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  echo "Installing: ${missing_wine[*]}"
  if [ "$apt_updated" -eq 0 ]; then
    "${sudo[@]}" apt-get update -q
    apt_updated=1
  fi
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q "${missing_wine[@]}"
fi

for preset in mingw64 mingw32; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 2
done

echo "=== mingw64 under wine ==="
# The prefix is made once, up front, so no check pays for it.
scripts/wine-run.sh --boot build/mingw64
ctest --preset mingw64 -j 2

echo "=== mingw32 ==="
ctest --test-dir build/mingw32 --output-on-failure -R '^sensorhub_executables$'
