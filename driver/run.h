// The values of one run of the tool, held by the entry point from start to end.
#pragma once

#include <cstdint>

#include "platform/api.h"
#include "protocol/reads.h"

// Device-path fragments of the hub in normal mode (USB interface 1, HID
// collection 2) and in DFU (loader) mode.
inline constexpr char16_t SENSOR_HUB_ID[] = u"vid_4721&pid_0800&mi_01&col02";
inline constexpr char16_t DFU_LOADER_ID[] = u"vid_4721&pid_df25";

constexpr std::int32_t ATTEMPT_LIMIT = 20;
constexpr os::DWORD ATTEMPT_WAIT_MS = 500;

enum class RunMode { Calibration, Update };

struct RunValues;

// Ends one attempt of a search for the hub: counts it and waits 500 ms. False,
// once told, when the hub is still not open after the 20th attempt.
bool EndAttempt(RunValues& run);

struct RunValues {
  RunMode mode = RunMode::Calibration;
  os::HANDLE hub = os::INVALID_HANDLE_VALUE;
  os::HANDLE loader = os::INVALID_HANDLE_VALUE;
  std::int32_t counter = 0;
  SensorData record{};                    // zeroed until the first reading
  const std::uint8_t* databuf = nullptr;  // update run: the image file's bytes
};
