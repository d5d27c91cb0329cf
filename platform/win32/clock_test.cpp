// The real clock: the tick count is the system's.
#include "platform/api.h"

#include <gtest/gtest.h>

#include "platform/win32/test_support.h"

namespace {

TEST(Win32Clock, TicksAreTheSystemsAndNeverGoBack) {
  std::uint64_t before = ::GetTickCount64();
  std::uint64_t first = os::GetTickCount64();
  os::Sleep(0);  // gives up the rest of the time slice and returns
  std::uint64_t second = os::GetTickCount64();
  std::uint64_t after = ::GetTickCount64();
  EXPECT_LE(before, first);
  EXPECT_LE(first, second);
  EXPECT_LE(second, after);
}

}  // namespace
