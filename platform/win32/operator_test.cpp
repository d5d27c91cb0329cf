// The operator backend against the real system. A box that can be shown would
// wait for a person, so the box is checked where it cannot be shown: with an
// owner window that does not exist the call fails at once, and the tool takes
// any answer but IDCANCEL as "go on".
#include "platform/api.h"

#include <gtest/gtest.h>

#include "platform/win32/test_support.h"

namespace {

TEST(Win32Operator, ABoxWithAMissingOwnerFailsWithoutAnAnswer) {
  os::SetLastError(0);
  int answer = os::MessageBoxW(reinterpret_cast<os::HWND>(0x4721), u"Put the fixture on the sensor",
                               u"Step 1", MB_OK);
  EXPECT_NE(answer, IDOK);
  EXPECT_NE(answer, IDCANCEL);
  EXPECT_EQ(os::GetLastError(), static_cast<os::DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(Win32Operator, ABeepReturnsWhenItsToneEnds) {
  EXPECT_NE(os::Beep(750, 1), 0);
}

}  // namespace
