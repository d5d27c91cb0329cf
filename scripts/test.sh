#!/usr/bin/env bash
# Builds and runs every suite: the native build, the sanitizer build and the
# Windows builds with their checks under wine. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

ensure_packages "${BUILD_PACKAGES[@]}" "${HIDRAW_TEST_PACKAGES[@]}"
ensure_packages "${BENCH_PACKAGES[@]}"

for preset in linux asan; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 2
  ctest --preset "$preset" -j 2
done

echo "=== memcheck ==="
scripts/memcheck.sh build/linux

echo "=== fuzz ==="
scripts/fuzz.sh

if [ -x scripts/test-windows.sh ]; then
  echo "=== windows ==="
  scripts/test-windows.sh
fi
