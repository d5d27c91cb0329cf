// The screen model must treat text as a Windows console does, or the layout
// tests built on it prove nothing.

#include "tests/screen.h"

#include <gtest/gtest.h>

#include <string>

namespace {

os::HANDLE Out() {
  return os::GetStdHandle(os::STD_OUTPUT_HANDLE);
}

void Write(std::u16string_view text) {
  os::DWORD written = 0;
  ASSERT_TRUE(os::WriteConsoleW(Out(), text.data(), static_cast<os::DWORD>(text.size()), &written,
                                nullptr));
  EXPECT_EQ(written, text.size());
}

void MoveTo(int x, int y) {
  ASSERT_TRUE(os::SetConsoleCursorPosition(
      Out(), os::COORD{static_cast<os::SHORT>(x), static_cast<os::SHORT>(y)}));
}

struct WriteCase {
  const char* name;
  int start_x;
  std::u16string text;
  std::string row0;
  std::string row1;
  int end_x;
  int end_y;
};

class WriteRules : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteRules, LeaveCellsAndCursorAsAConsoleDoes) {
  const WriteCase& c = GetParam();
  screen::Reset(24, 4);
  MoveTo(c.start_x, 0);
  Write(c.text);
  EXPECT_EQ(screen::RowText(0), c.row0);
  EXPECT_EQ(screen::RowText(1), c.row1);
  EXPECT_EQ(screen::Cursor().X, c.end_x);
  EXPECT_EQ(screen::Cursor().Y, c.end_y);
}

INSTANTIATE_TEST_SUITE_P(
    Screen, WriteRules,
    ::testing::Values(WriteCase{"wraps_at_row_end", 20, u"abcdef", "                    abcd", "ef",
                                2, 1},
                      WriteCase{"full_row_moves_to_next", 0, u"0123456789abcdefghijklmn",
                                "0123456789abcdefghijklmn", "", 0, 1},
                      WriteCase{"line_feed_returns_to_column_0", 3, u"ab\ncd", "   ab", "cd", 2, 1},
                      WriteCase{"tool_line_end", 0, u"ab\n\rcd", "ab", "cd", 2, 1},
                      WriteCase{"carriage_return_overwrites", 0, u"abcd\rX", "Xbcd", "", 1, 0},
                      WriteCase{"tab_from_0", 0, u"\tx", "        x", "", 9, 0},
                      WriteCase{"tab_from_7", 7, u"\tx", "        x", "", 9, 0},
                      WriteCase{"tab_on_a_stop", 8, u"\tx", "                x", "", 17, 0},
                      WriteCase{"tab_to_row_end_wraps", 18, u"\tx", "", "x", 1, 1},
                      WriteCase{"backspace_moves_back", 0, u"ab\bX", "aX", "", 2, 0},
                      WriteCase{"bell_leaves_no_mark", 0, u"a\ab", "ab", "", 2, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Screen, TabBlanksTheCellsItPasses) {
  screen::Reset(16, 4);
  Write(u"abcdefgh");
  MoveTo(1, 0);
  ASSERT_TRUE(os::SetConsoleTextAttribute(Out(), 0x1F));
  Write(u"\t");
  EXPECT_EQ(screen::RowText(0), "a");
  EXPECT_EQ(screen::At(1, 0).attribute, 0x1F);
  EXPECT_EQ(screen::At(7, 0).attribute, 0x1F);
  EXPECT_EQ(screen::At(8, 0).attribute, 0x07);
}

TEST(Screen, BottomOfTheBufferScrollsUp) {
  screen::Reset(8, 3);
  ASSERT_TRUE(os::SetConsoleTextAttribute(Out(), 0x0A));
  Write(u"one\ntwo\nthree\nfour");
  EXPECT_EQ(screen::RowText(0), "two");
  EXPECT_EQ(screen::RowText(1), "three");
  EXPECT_EQ(screen::RowText(2), "four");
  EXPECT_EQ(screen::At(7, 2).attribute, 0x0A);  // the new row, blank in the current attribute
  EXPECT_EQ(screen::Cursor().Y, 2);
}

TEST(Screen, WindowFollowsTheCursor) {
  screen::Reset(80, 300);
  EXPECT_EQ(screen::Window().Top, 0);
  EXPECT_EQ(screen::Window().Bottom, 24);
  MoveTo(0, 100);
  EXPECT_EQ(screen::Window().Top, 76);
  EXPECT_EQ(screen::Window().Bottom, 100);
  MoveTo(0, 10);
  EXPECT_EQ(screen::Window().Top, 10);
}

TEST(Screen, InformationDescribesTheBuffer) {
  screen::Reset(100, 40);
  ASSERT_TRUE(os::SetConsoleTextAttribute(Out(), 0x2E));
  MoveTo(5, 30);
  os::CONSOLE_SCREEN_BUFFER_INFO info{};
  ASSERT_TRUE(os::GetConsoleScreenBufferInfo(Out(), &info));
  EXPECT_EQ(info.dwSize.X, 100);
  EXPECT_EQ(info.dwSize.Y, 40);
  EXPECT_EQ(info.dwCursorPosition.X, 5);
  EXPECT_EQ(info.dwCursorPosition.Y, 30);
  EXPECT_EQ(info.wAttributes, 0x2E);
  EXPECT_EQ(info.srWindow.Top, 6);
  EXPECT_EQ(info.srWindow.Bottom, 30);
  EXPECT_EQ(info.srWindow.Right, 99);
}

TEST(Screen, RefusesPlacesOutsideTheBuffer) {
  screen::Reset(10, 5);
  MoveTo(3, 2);
  for (os::COORD bad : {os::COORD{10, 0}, os::COORD{0, 5}, os::COORD{-1, 0}, os::COORD{0, -1}}) {
    EXPECT_FALSE(os::SetConsoleCursorPosition(Out(), bad));
    os::DWORD written = 7;
    EXPECT_FALSE(os::FillConsoleOutputCharacterW(Out(), u'x', 1, bad, &written));
    EXPECT_FALSE(os::FillConsoleOutputAttribute(Out(), 0x1F, 1, bad, &written));
  }
  EXPECT_EQ(screen::Cursor().X, 3);
  EXPECT_EQ(screen::Cursor().Y, 2);
}

TEST(Screen, FillsRunRowAfterRowAndStopAtTheEnd) {
  screen::Reset(10, 3);
  os::DWORD written = 0;
  ASSERT_TRUE(os::FillConsoleOutputCharacterW(Out(), u'#', 1000, os::COORD{8, 1}, &written));
  EXPECT_EQ(written, 12u);
  EXPECT_EQ(screen::RowText(0), "");
  EXPECT_EQ(screen::RowText(1), "        ##");
  EXPECT_EQ(screen::RowText(2), "##########");
  ASSERT_TRUE(os::FillConsoleOutputAttribute(Out(), 0x4F, 3, os::COORD{9, 0}, &written));
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(screen::At(8, 0).attribute, 0x07);
  EXPECT_EQ(screen::At(9, 0).attribute, 0x4F);
  EXPECT_EQ(screen::At(1, 1).attribute, 0x4F);
  EXPECT_EQ(screen::At(2, 1).attribute, 0x07);
  EXPECT_EQ(screen::At(9, 0).ch, u' ');  // an attribute fill keeps the characters
  EXPECT_EQ(screen::Cursor().X, 0);      // and no fill moves the cursor
}

TEST(Screen, CursorShape) {
  screen::Reset();
  os::CONSOLE_CURSOR_INFO info{};
  ASSERT_TRUE(os::GetConsoleCursorInfo(Out(), &info));
  EXPECT_EQ(info.dwSize, 25u);
  EXPECT_EQ(info.bVisible, 1);
  for (os::DWORD bad : {0u, 101u}) {
    os::CONSOLE_CURSOR_INFO refused{bad, 0};
    EXPECT_FALSE(os::SetConsoleCursorInfo(Out(), &refused));
  }
  EXPECT_TRUE(screen::CursorVisible());
  os::CONSOLE_CURSOR_INFO thin{1, 0};
  ASSERT_TRUE(os::SetConsoleCursorInfo(Out(), &thin));
  EXPECT_FALSE(screen::CursorVisible());
  EXPECT_EQ(screen::CursorSize(), 1u);
}

TEST(Screen, StandardOutputDrawsAtTheCursorAndIsRecorded) {
  screen::Reset(20, 5);
  ASSERT_TRUE(os::SetConsoleTextAttribute(Out(), 0x0A));
  MoveTo(4, 2);
  os::WriteStdout("ab\n\rc\x80", 6);
  EXPECT_EQ(screen::Stdout(), std::string("ab\n\rc\x80"));
  EXPECT_EQ(screen::RowText(2), "    ab");
  EXPECT_EQ(screen::Row(3), u"c\u20AC");
  EXPECT_EQ(screen::At(4, 2).attribute, 0x0A);
  EXPECT_EQ(screen::Cursor().X, 2);
  EXPECT_EQ(screen::Cursor().Y, 3);
}

TEST(Screen, RedirectedOutputIsAFile) {
  screen::Reset(20, 5, true);
  os::HANDLE out = Out();
  EXPECT_NE(out, os::INVALID_HANDLE_VALUE);
  os::CONSOLE_SCREEN_BUFFER_INFO info{};
  os::CONSOLE_CURSOR_INFO cursor{};
  os::DWORD written = 9;
  EXPECT_FALSE(os::GetConsoleScreenBufferInfo(out, &info));
  EXPECT_FALSE(os::GetConsoleCursorInfo(out, &cursor));
  EXPECT_FALSE(os::SetConsoleCursorInfo(out, &cursor));
  EXPECT_FALSE(os::SetConsoleTextAttribute(out, 0x1F));
  EXPECT_FALSE(os::SetConsoleCursorPosition(out, os::COORD{1, 1}));
  EXPECT_FALSE(os::FillConsoleOutputCharacterW(out, u'x', 5, os::COORD{0, 0}, &written));
  EXPECT_FALSE(os::FillConsoleOutputAttribute(out, 0x1F, 5, os::COORD{0, 0}, &written));
  EXPECT_FALSE(os::WriteConsoleW(out, u"abc", 3, &written, nullptr));
  EXPECT_EQ(written, 0u);
  os::WriteStdout("rule\n\r", 6);
  EXPECT_EQ(screen::Stdout(), "rule\n\r");
  for (int y = 0; y < 5; ++y) EXPECT_EQ(screen::RowText(y), "");
  EXPECT_EQ(screen::Attribute(), 0x07);
  EXPECT_EQ(screen::Cursor().X, 0);
}

TEST(Screen, OnlyStandardOutputIsAConsole) {
  screen::Reset();
  os::HANDLE other = os::GetStdHandle(static_cast<os::DWORD>(-10));
  EXPECT_EQ(other, os::INVALID_HANDLE_VALUE);
  EXPECT_FALSE(os::SetConsoleTextAttribute(other, 0x1F));
  EXPECT_EQ(screen::CallNames(), "GetStdHandle! SetConsoleTextAttribute!");
}

TEST(Screen, ResetForgetsEverything) {
  screen::Reset(10, 3);
  Write(u"abc");
  os::WriteStdout("x", 1);
  screen::Reset(10, 3);
  EXPECT_EQ(screen::RowText(0), "");
  EXPECT_EQ(screen::Stdout(), "");
  EXPECT_TRUE(screen::Calls().empty());
  EXPECT_EQ(screen::Cursor().X, 0);
}

struct ConversionCase {
  const char* name;
  std::string bytes;
  int length;  // as passed; -1 for a terminated text
  os::DWORD flags;
  int wide_length;
  int result;
  std::u16string wide;  // the units written, when the call converts
};

class Conversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Conversion, ReadsTheAnsiCodePage) {
  const ConversionCase& c = GetParam();
  screen::Reset();
  char16_t out[16];
  std::fill(std::begin(out), std::end(out), u'~');
  int result = os::MultiByteToWideChar(os::CP_ACP, c.flags, c.bytes.data(), c.length,
                                       c.wide_length == 0 ? nullptr : out, c.wide_length);
  EXPECT_EQ(result, c.result);
  if (c.wide_length > 0 && c.result > 0) {
    EXPECT_EQ(std::u16string(out, static_cast<std::size_t>(c.result)), c.wide);
  }
  if (c.result == 0) {
    EXPECT_EQ(out[0], u'~');  // a failed call writes nothing
  }
}

constexpr os::DWORD kStrict = os::MB_ERR_INVALID_CHARS;

INSTANTIATE_TEST_SUITE_P(
    Screen, Conversion,
    ::testing::Values(
        ConversionCase{"ascii_exact_length", "LEVEL=3xyz", 7, kStrict, 16, 7, u"LEVEL=3"},
        ConversionCase{"latin_and_windows_1252", "\xE9\x80\x99\xFF", 4, kStrict, 16, 4,
                       u"\u00E9\u20AC\u2122\u00FF"},
        ConversionCase{"undefined_byte_refused", "ab\x81", 3, kStrict, 16, 0, u""},
        ConversionCase{"undefined_byte_passed_without_flag", "ab\x81", 3, 0, 16, 3, u"ab\u0081"},
        ConversionCase{"needed_length_only", "abc", 3, kStrict, 0, 3, u""},
        ConversionCase{"needed_length_checks_too", "a\x8D", 2, kStrict, 0, 0, u""},
        ConversionCase{"terminated_text_counts_its_end", "abc", -1, kStrict, 16, 4,
                       std::u16string(u"abc\0", 4)},
        ConversionCase{"zero_length_refused", "abc", 0, kStrict, 16, 0, u""},
        ConversionCase{"short_buffer_refused", "abcdef", 6, kStrict, 5, 0, u""},
        ConversionCase{"other_negative_length_refused", "abc", -2, kStrict, 16, 0, u""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Screen, ConversionKnowsOnlyTheAnsiCodePage) {
  char16_t out[4];
  EXPECT_EQ(os::MultiByteToWideChar(1252, 0, "ab", 2, out, 4), 2);
  EXPECT_EQ(os::MultiByteToWideChar(65001, 0, "ab", 2, out, 4), 0);
}

}  // namespace
