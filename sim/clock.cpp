#include "sim/clock.h"

#include <chrono>
#include <thread>

#include "platform/api.h"

namespace sim {
namespace {

ClockMode mode = ClockMode::Virtual;
std::uint64_t virtual_now = 0;
std::chrono::steady_clock::time_point real_start = std::chrono::steady_clock::now();
std::uint64_t sleep_calls = 0;
std::uint64_t slept_ms = 0;
std::uint64_t sequence = 0;

}  // namespace

void SetClockMode(ClockMode new_mode) {
  mode = new_mode;
  ResetClock();
}

ClockMode GetClockMode() {
  return mode;
}

std::uint64_t NowMs() {
  if (mode == ClockMode::Virtual) return virtual_now;
  auto elapsed = std::chrono::steady_clock::now() - real_start;
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void AdvanceClock(std::uint64_t ms) {
  if (mode == ClockMode::Virtual)
    virtual_now += ms;
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void ResetClock() {
  virtual_now = 0;
  real_start = std::chrono::steady_clock::now();
  sleep_calls = 0;
  slept_ms = 0;
  sequence = 0;
}

std::uint64_t SleepCalls() {
  return sleep_calls;
}
std::uint64_t SleptMs() {
  return slept_ms;
}

std::uint64_t NextSequence() {
  return ++sequence;
}

}  // namespace sim

namespace os {

void Sleep(DWORD milliseconds) {
  ++sim::sleep_calls;
  sim::slept_ms += milliseconds;
  sim::AdvanceClock(milliseconds);
}

std::uint64_t GetTickCount64() {
  return sim::NowMs();
}

}  // namespace os
