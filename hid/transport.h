// Moving one HID report between a caller's buffer and a device handle.
#pragma once

#include <cstdint>

#include "platform/api.h"

// Report types of the USB HID class: the mode chooses the platform call.
constexpr int IO_INPUT = 1;
constexpr int IO_OUTPUT = 2;
constexpr int IO_FEATURE = 3;

constexpr int IO_OK = 0;
constexpr int IO_FAILED = 5;

// IO_OUTPUT: WriteFile; IO_FEATURE: HidD_SetFeature. Byte 0 of `buffer` holds
// the report ID; `length` counts it.
int HidWrite(os::HANDLE handle, int mode, std::uint8_t* buffer, std::uint32_t length);

// IO_INPUT: ReadFile, and `length` becomes the bytes read; IO_FEATURE:
// HidD_GetFeature, `length` unchanged. Both put `report_id` into byte 0 first.
int HidRead(os::HANDLE handle, int mode, std::uint8_t report_id, std::uint8_t* buffer,
            std::uint32_t& length);
