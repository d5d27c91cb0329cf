// The clock of the simulated world. In virtual mode Sleep advances time at
// once, so a run that waits 10 s costs nothing; in real mode it really sleeps.
// Either way the simulated hub schedules its delays on this time.
#pragma once

#include <cstdint>

namespace sim {

enum class ClockMode { Virtual, Real };

void SetClockMode(ClockMode mode);
ClockMode GetClockMode();

// Milliseconds since the clock was last reset.
std::uint64_t NowMs();

// Moves virtual time on (in real mode: sleeps), as a blocking call of the given
// length does: Sleep, a beep, an operator who takes a while to answer.
void AdvanceClock(std::uint64_t ms);

// Time 0 again, and no sleeps counted.
void ResetClock();

// Sleep calls made through the os seam since the last reset, and their total.
std::uint64_t SleepCalls();
std::uint64_t SleptMs();

// A number that grows by one at each call: frames, boxes and beeps take one so
// a test can put events of different kinds in order.
std::uint64_t NextSequence();

}  // namespace sim
