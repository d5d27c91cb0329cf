// The firmware download to the hub in DFU (loader) mode.
#pragma once

#include <cstdint>

#include "platform/api.h"

// How long the loader may answer busy without a break before the tool takes
// it for a failed poll.
constexpr std::uint64_t DFU_BUSY_LIMIT_MS = 10000;

// Sends the download region of DeviceImage to the loader in 64-byte blocks,
// printing "Data Transfer=%d\r" after each, and starts the new firmware.
// 1 when it ran to its end, 0 when it gave up (at once for an invalid handle).
int DfuDownload(os::HANDLE handle);
