# Sourced by the scripts: installs the Debian packages a step needs when they
# are missing (on a fresh machine, as root), running apt-get update only once.
apt_updated=0

ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  echo "Installing: ${missing[*]}"
  if [ "$apt_updated" -eq 0 ]; then
    "${sudo[@]}" apt-get update -q
    apt_updated=1
  fi
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# What building the tool and its tests on Linux needs; sensorhub reaches the
# hub through hidapi's hidraw flavour and reads sysfs through libudev.
BUILD_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev pkg-config libhidapi-dev libudev-dev)
# What the hidraw tests need on top: a fake sysfs and /dev under umockdev.
HIDRAW_TEST_PACKAGES=(umockdev libumockdev-dev)
# libFuzzer targets: clang and its runtime libraries.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# sensorhub-bench (built by the linux preset when present).
BENCH_PACKAGES=(libbenchmark-dev)
