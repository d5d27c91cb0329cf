// The tool's mirror of the hub's 32 KiB of memory, and its regions.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t DEVICE_IMAGE_SIZE = 0x8000;

// What a DFU download sends, lowest offset first.
constexpr std::size_t DOWNLOAD_REGION_START = 0x1000;
constexpr std::size_t DOWNLOAD_REGION_SIZE = 0x7000;

// The hub's calibration data: the last 1024 bytes of the download region. An
// erase blanks all of it but its last four bytes.
constexpr std::size_t CALIBRATION_AREA_START = 0x7C00;
constexpr std::size_t CALIBRATION_AREA_SIZE = 0x400;
constexpr std::size_t ERASE_RANGE_SIZE = 0x3FC;

// Byte k mirrors the hub's memory address k.
extern std::uint8_t DeviceImage[DEVICE_IMAGE_SIZE];
