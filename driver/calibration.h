// The calibration and validation sequence of a run without an argument.
#pragma once

#include <cstdint>

#include "driver/run.h"

// A hub that leaves the tool nothing to do for this long (no step of the
// sequence, no answer) has stopped leading it: the run ends as failed instead
// of polling for ever.
constexpr std::uint64_t HUB_STALL_LIMIT_MS = 10000;

// 1 when the record passes the rule of `state` (light at 10 and 12, motion at
// 14 and 16, none elsewhere), 0 when it fails.
int ValidateSensors(const SensorData& record, std::uint8_t state);

// Draws the calibration screen and follows the hub through its states until
// the pass ending, a failure ending or a cancelled step box.
void RunCalibrationSequence(RunValues& run);

// The operator's boxes, as the station shows them.
extern const char16_t FIXTURE_PROMPT[];
extern const char16_t START_PROMPT[];
