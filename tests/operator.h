// The operator of the test programs: answers message boxes from a script and
// records every box and beep with the virtual time at which it happened.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/api.h"

namespace script {

struct Box {
  std::u16string text;
  std::u16string caption;
  os::UINT type = 0;
  bool has_owner = false;
  std::uint64_t shown_ms = 0;   // virtual time when the box came up
  std::uint64_t closed_ms = 0;  // and when the operator closed it
  std::uint64_t sequence = 0;   // place in the run's order of events (sim::NextSequence)
  int answer = 0;
};

struct BeepRecord {
  os::DWORD frequency = 0;
  os::DWORD duration_ms = 0;
  std::uint64_t start_ms = 0;
  std::uint64_t sequence = 0;
  // False for a frequency the platform refuses (outside 37 to 32767 Hz): the
  // call then fails at once, without a tone.
  bool sounded = false;
};

// No boxes or beeps recorded, no answers scripted, a think time of 0: every
// box answers IDOK at once.
void Reset();
// The answers of the next boxes, in order; once used up, boxes answer IDOK.
void Answer(std::vector<int> answers);
// How long the operator takes to close each box (virtual time).
void SetThinkTime(std::uint64_t ms);

const std::vector<Box>& Boxes();
const std::vector<BeepRecord>& Beeps();

}  // namespace script
