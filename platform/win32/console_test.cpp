// The console backend against the real system: the conversion the screen
// functions rely on, the console calls on a standard output that is not a
// console, and the exact bytes of standard output.
#include "platform/api.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/win32/test_support.h"

namespace {

using win32_test::TempPath;
using win32_test::Wide;

struct Conversion {
  const char* name;
  unsigned code_page;
  unsigned long flags;
  std::string bytes;  // the whole text; `length` bytes of it are converted
  int length;
  int result;           // units written, 0 for a failure
  std::u16string wide;  // the units, when the conversion succeeds
  unsigned long error;  // the error code, when it fails
};

class Win32Conversion : public ::testing::TestWithParam<Conversion> {};

TEST_P(Win32Conversion, ConvertsExactlyTheGivenBytes) {
  const Conversion& c = GetParam();
  char16_t out[32];
  std::fill(std::begin(out), std::end(out), u'#');
  os::SetLastError(0);
  int result = os::MultiByteToWideChar(c.code_page, c.flags, c.bytes.data(), c.length, out,
                                       static_cast<int>(std::size(out)));
  ASSERT_EQ(result, c.result);
  if (result == 0) {
    // What a failed conversion left in the buffer is not defined.
    EXPECT_EQ(os::GetLastError(), c.error);
    return;
  }
  EXPECT_EQ(std::u16string(out, c.wide.size()), c.wide);
  // Nothing is written behind the converted units: no terminator is added.
  EXPECT_EQ(out[c.wide.size()], u'#');
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Win32Conversion,
    ::testing::Values(
        // A reading line, byte for byte.
        Conversion{"ReadingLine", CP_ACP, MB_ERR_INVALID_CHARS, "120 LUX.     35 MM.", 19, 19,
                   u"120 LUX.     35 MM.", 0},
        // Only `length` bytes count, with no terminator within them.
        Conversion{"NoTerminator", CP_ACP, MB_ERR_INVALID_CHARS, "ABCDEF", 3, 3, u"ABC", 0},
        // Control characters pass unchanged; the console expands the tab.
        Conversion{"ControlCharacters", CP_ACP, MB_ERR_INVALID_CHARS, "\tX\r", 3, 3, u"\tX\r", 0},
        // Nothing to convert: the call fails.
        Conversion{"Empty", CP_ACP, MB_ERR_INVALID_CHARS, "", 0, 0, u"", ERROR_INVALID_PARAMETER},
        // The flags reach the system: with them an invalid sequence fails the
        // whole conversion, without them it becomes U+FFFD.
        Conversion{"InvalidRefused", CP_UTF8, MB_ERR_INVALID_CHARS, "A\xff", 2, 0, u"",
                   ERROR_NO_UNICODE_TRANSLATION},
        Conversion{"InvalidReplaced", CP_UTF8, 0, "A\xff", 2, 2, u"A\ufffd", 0}),
    [](const ::testing::TestParamInfo<Conversion>& info) { return std::string(info.param.name); });

TEST(Win32Conversion, ASizeQueryReportsTheUnitsNeeded) {
  EXPECT_EQ(os::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "LEVEL", 5, nullptr, 0), 5);
}

// With standard output redirected to a file, every console call fails and
// nothing reaches the file, as on Windows.
TEST(Win32Console, EveryCallFailsWhenStandardOutputIsAFile) {
  std::u16string path = TempPath(u"console_redirected.txt");
  ::HANDLE file = ::CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ::HANDLE saved = ::GetStdHandle(STD_OUTPUT_HANDLE);
  ASSERT_NE(::SetStdHandle(STD_OUTPUT_HANDLE, file), 0);

  os::HANDLE out = os::GetStdHandle(STD_OUTPUT_HANDLE);
  os::CONSOLE_SCREEN_BUFFER_INFO info{};
  os::CONSOLE_CURSOR_INFO cursor{25, 1};
  os::DWORD count = 0;
  os::SetLastError(0);
  os::BOOL got_info = os::GetConsoleScreenBufferInfo(out, &info);
  os::DWORD info_error = os::GetLastError();
  os::BOOL results[] = {
      os::FillConsoleOutputCharacterW(out, u' ', 80, os::COORD{0, 0}, &count),
      os::FillConsoleOutputAttribute(out, 0x0A, 80, os::COORD{0, 0}, &count),
      os::SetConsoleCursorPosition(out, os::COORD{35, 6}),
      os::SetConsoleTextAttribute(out, 0x0A),
      os::WriteConsoleW(out, u"LEVEL", 5, &count, nullptr),
      os::GetConsoleCursorInfo(out, &cursor),
      os::SetConsoleCursorInfo(out, &cursor),
  };
  ::SetStdHandle(STD_OUTPUT_HANDLE, saved);

  EXPECT_EQ(out, file);
  EXPECT_EQ(got_info, 0);
  EXPECT_EQ(info_error, static_cast<os::DWORD>(ERROR_INVALID_HANDLE));
  for (std::size_t i = 0; i < std::size(results); ++i) EXPECT_EQ(results[i], 0) << "call " << i;
  EXPECT_EQ(::GetFileSize(file, nullptr), 0u);
  ::CloseHandle(file);
  ::DeleteFileW(Wide(path));
}

// Standard output carries the tool's bytes unchanged: its "\n\r" line ends and
// the bare "\r" of the progress line, also where the runtime's stream would
// translate line ends (text mode is the runtime's default for stdout).
TEST(Win32Stdout, BytesLeaveExactlyAsWritten) {
  std::u16string path = TempPath(u"stdout_bytes.txt");
  std::fflush(stdout);
  int saved = _dup(1);
  ASSERT_GE(saved, 0);
  int fd = _wopen(Wide(path), _O_CREAT | _O_TRUNC | _O_WRONLY | _O_TEXT, _S_IREAD | _S_IWRITE);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(_dup2(fd, 1), 0);
  _close(fd);

  const std::string message = "\n\r========File Open Failed!!========\n\r";
  os::WriteStdout(message.data(), message.size());
  os::WriteStdout("Data Transfer=64\r", 17);
  os::Printf("Calibrated:%d\n\r", 255);

  std::fflush(stdout);
  _dup2(saved, 1);
  _close(saved);

  std::ifstream in(Wide(path), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  ::DeleteFileW(Wide(path));
  EXPECT_EQ(bytes, message + "Data Transfer=64\r" + "Calibrated:255\n\r");
}

}  // namespace
