// The firmware update, and the erase of a calibrated hub's calibration data.
#pragma once

#include "driver/run.h"

// A loader that has not appeared after this many attempts (500 ms apart) is
// given up: Windows can take several seconds to set up a new USB device, but
// not a minute.
constexpr std::int32_t LOADER_ATTEMPT_LIMIT = 120;

// Calibration mark of a calibrated hub: 180 to 254.
bool HubIsCalibrated(const RunValues& run);

// Stages and downloads what the run calls for, and waits for the hub to come
// back. True when the run goes on into the calibration sequence (a
// calibration run whose hub is open); false when the run is over.
bool RunDfuFlow(RunValues& run);
