#include "console/console.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/screen.h"

namespace {

void ExpectCursor(int x, int y) {
  EXPECT_EQ(screen::Cursor().X, x);
  EXPECT_EQ(screen::Cursor().Y, y);
}

void SetAttribute(os::WORD attribute) {
  ASSERT_TRUE(os::SetConsoleTextAttribute(os::GetStdHandle(os::STD_OUTPUT_HANDLE), attribute));
}

struct ColorCase {
  int fore;
  int back;
  os::WORD attribute;
};

class Colors : public ::testing::TestWithParam<ColorCase> {};

// Only the low four bits of each index count.
INSTANTIATE_TEST_SUITE_P(Console, Colors,
                         ::testing::Values(ColorCase{26, 16, 0x0A}, ColorCase{10, 0, 0x0A},
                                           ColorCase{12, 1, 0x1C}, ColorCase{15, 15, 0xFF},
                                           ColorCase{0x7F3, 0x124, 0x43},
                                           ColorCase{-1, -16, 0x0F}));

TEST_P(Colors, ClearPaintsTheWholeBufferInTheMaskedAttribute) {
  const ColorCase& c = GetParam();
  screen::Reset(80, 300);
  console::WriteTextAt(70, 299, "last row", 8);
  console::WriteTextAt(3, 4, "text", 4);
  console::ClearScreenWithColors(c.fore, c.back);
  EXPECT_EQ(screen::Attribute(), c.attribute);
  for (int y = 0; y < 300; ++y) {
    ASSERT_EQ(screen::RowText(y), "") << "row " << y;
    for (int x = 0; x < 80; ++x) ASSERT_EQ(screen::At(x, y).attribute, c.attribute);
  }
  ExpectCursor(0, 0);
}

TEST_P(Colors, SetColorsOnlySetsTheAttribute) {
  const ColorCase& c = GetParam();
  screen::Reset(20, 5);
  console::WriteTextAt(2, 3, "keep", 4);
  console::SetColors(c.fore, c.back);
  EXPECT_EQ(screen::Attribute(), c.attribute);
  EXPECT_EQ(screen::RowText(3), "  keep");
  EXPECT_EQ(screen::At(2, 3).attribute, 0x07);
  console::WriteText("x", 1);
  EXPECT_EQ(screen::At(6, 3).attribute, c.attribute);
}

TEST(Console, ClearScreenUsesTheCurrentAttributeAndLeavesItSet) {
  screen::Reset(80, 300);
  console::WriteTextAt(0, 290, "below the window", 16);
  SetAttribute(0x1E);
  console::GotoXY(40, 200);
  console::ClearScreen();
  EXPECT_EQ(screen::RowText(290), "");
  EXPECT_EQ(screen::At(0, 290).attribute, 0x1E);
  EXPECT_EQ(screen::At(79, 299).attribute, 0x1E);
  EXPECT_EQ(screen::At(0, 0).attribute, 0x1E);
  EXPECT_EQ(screen::Attribute(), 0x1E);
  ExpectCursor(0, 0);
}

struct ForeCase {
  os::WORD before;
  int fore;
  os::WORD after;
};

class ForeColor : public ::testing::TestWithParam<ForeCase> {};

TEST_P(ForeColor, KeepsTheBackgroundAndDropsTheHighBits) {
  screen::Reset(20, 5);
  SetAttribute(GetParam().before);
  console::SetForeColor(GetParam().fore);
  EXPECT_EQ(screen::Attribute(), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Console, ForeColor,
                         ::testing::Values(ForeCase{0x1A, 12, 0x1C}, ForeCase{0xC41A, 12, 0x1C},
                                           ForeCase{0x0100, 12, 0x0C}, ForeCase{0x8000, 0, 0x00},
                                           ForeCase{0x70, 26, 0x7A}, ForeCase{0xFF, 0, 0xF0}));

TEST(Console, WriteTextAtWrapsIntoTheNextRow) {
  screen::Reset(80, 300);
  const std::string text(30, 'w');
  console::WriteTextAt(70, 5, text.data(), static_cast<int>(text.size()));
  EXPECT_EQ(screen::RowText(5), std::string(70, ' ') + std::string(10, 'w'));
  EXPECT_EQ(screen::RowText(6), std::string(20, 'w'));
  ExpectCursor(20, 6);
}

TEST(Console, WriteTextAtExpandsTheTitleTab) {
  screen::Reset(80, 300);
  const char title[] = "Velkor Sensor Calibration & Validation Tool\t(V1.70)";
  console::WriteTextAt(20, 1, title, static_cast<int>(sizeof title - 1));
  EXPECT_EQ(screen::RowText(1),
            std::string(20, ' ') + "Velkor Sensor Calibration & Validation Tool" + " " + "(V1.70)");
  EXPECT_EQ(screen::At(64, 1).ch, u'(');
  ExpectCursor(71, 1);
}

TEST(Console, WriteTextAtWritesExactlyLenBytes) {
  screen::Reset(80, 25);
  // No terminator anywhere: the count alone bounds the text.
  const char bytes[6] = {'L', 'E', 'V', 'E', 'L', '='};
  console::WriteTextAt(38, 18, bytes, 3);
  EXPECT_EQ(screen::RowText(18), std::string(38, ' ') + "LEV");
  ExpectCursor(41, 18);
}

TEST(Console, WriteTextAtLeavesTheTailOfALongerText) {
  screen::Reset(80, 25);
  console::WriteTextAt(35, 6, "1234 LUX.     0 MM.", 19);
  console::WriteTextAt(35, 6, "5 LUX.     0 MM.", 16);
  EXPECT_EQ(screen::RowText(6), std::string(35, ' ') + "5 LUX.     0 MM.MM.");
}

TEST(Console, WriteTextAtWritesInTheCurrentAttribute) {
  screen::Reset(80, 25);
  console::SetColors(10, 0);
  console::WriteTextAt(1, 1, "ok", 2);
  EXPECT_EQ(screen::At(1, 1).attribute, 0x0A);
  EXPECT_EQ(screen::At(2, 1).attribute, 0x0A);
  EXPECT_EQ(screen::At(3, 1).attribute, 0x07);
}

TEST(Console, WriteTextAtConvertsFromTheAnsiCodePage) {
  screen::Reset(80, 25);
  console::WriteTextAt(0, 0, "\xB1\xE9\x80", 3);
  EXPECT_EQ(screen::Row(0), u"\u00B1\u00E9\u20AC");
}

struct NothingWrittenCase {
  const char* name;
  const char* text;
  int len;
};

class MovesOnly : public ::testing::TestWithParam<NothingWrittenCase> {};

// The cursor goes to the cell whatever becomes of the text.
TEST_P(MovesOnly, CursorMovesAndNothingIsWritten) {
  screen::Reset(80, 25);
  console::WriteTextAt(12, 7, GetParam().text, GetParam().len);
  for (int y = 0; y < 25; ++y) EXPECT_EQ(screen::RowText(y), "");
  ExpectCursor(12, 7);
}

INSTANTIATE_TEST_SUITE_P(Console, MovesOnly,
                         ::testing::Values(NothingWrittenCase{"length_0", "text", 0},
                                           NothingWrittenCase{"byte_the_code_page_lacks",
                                                              "ab\x81"
                                                              "cd",
                                                              5},
                                           NothingWrittenCase{"negative_length", "text", -1},
                                           NothingWrittenCase{"no_text", nullptr, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Console, WriteTextGoesOnAtTheCursor) {
  screen::Reset(80, 25);
  console::GotoXY(24, 4);
  console::WriteText("=====", 5);
  console::WriteText("Step1", 5);
  EXPECT_EQ(screen::RowText(4), std::string(24, ' ') + "=====Step1");
  ExpectCursor(34, 4);
  console::WriteText("", 0);
  ExpectCursor(34, 4);
}

TEST(Console, GotoXYUsesTheLow16Bits) {
  screen::Reset(80, 300);
  console::GotoXY(0x10005, 0x200003);
  ExpectCursor(5, 3);
  console::GotoXY(79, 299);
  ExpectCursor(79, 299);
}

TEST(Console, GotoXYOutsideTheBufferLeavesTheCursor) {
  screen::Reset(80, 300);
  console::GotoXY(7, 8);
  console::GotoXY(80, 0);
  ExpectCursor(7, 8);
  console::GotoXY(0xFFFF, 0);  // low 16 bits: column -1
  ExpectCursor(7, 8);
}

TEST(Console, StandardOutputLandsWhereGotoXYLeftTheCursor) {
  screen::Reset(80, 300);
  console::ClearScreenWithColors(10, 0);
  console::GotoXY(0, 2);
  const std::string rule(80, '=');
  os::WriteStdout(rule.data(), rule.size());
  EXPECT_EQ(screen::RowText(2), rule);
  EXPECT_EQ(screen::At(79, 2).attribute, 0x0A);
  EXPECT_EQ(screen::RowText(3), "");
}

TEST(Console, HideAndShowKeepTheCursorSize) {
  screen::Reset();
  os::CONSOLE_CURSOR_INFO tall{57, 1};
  ASSERT_TRUE(os::SetConsoleCursorInfo(os::GetStdHandle(os::STD_OUTPUT_HANDLE), &tall));
  console::HideTextCursor();
  EXPECT_FALSE(screen::CursorVisible());
  EXPECT_EQ(screen::CursorSize(), 57u);
  console::HideTextCursor();
  EXPECT_FALSE(screen::CursorVisible());
  console::ShowTextCursor();
  EXPECT_TRUE(screen::CursorVisible());
  EXPECT_EQ(screen::CursorSize(), 57u);
}

// What each function asks of the console, in order, on a console and on
// standard output redirected to a file ('!' marks a refused call). The handle
// is fetched at every call; the calls that need the console's state stop when
// it cannot be read.
struct CallsCase {
  const char* name;
  std::function<void()> call;
  const char* on_console;
  const char* redirected;
};

class Calls : public ::testing::TestWithParam<CallsCase> {};

TEST_P(Calls, OnAConsoleAndRedirected) {
  screen::Reset(80, 25);
  GetParam().call();
  EXPECT_EQ(screen::CallNames(), GetParam().on_console);

  screen::Reset(80, 25, true);
  GetParam().call();
  EXPECT_EQ(screen::CallNames(), GetParam().redirected);
  for (int y = 0; y < 25; ++y) EXPECT_EQ(screen::RowText(y), "");
  EXPECT_EQ(screen::Attribute(), 0x07);
  EXPECT_TRUE(screen::CursorVisible());
  ExpectCursor(0, 0);
  EXPECT_EQ(screen::Stdout(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Console, Calls,
    ::testing::Values(
        CallsCase{"ClearScreen", [] { console::ClearScreen(); },
                  "GetStdHandle GetConsoleScreenBufferInfo FillConsoleOutputCharacterW "
                  "FillConsoleOutputAttribute SetConsoleCursorPosition",
                  "GetStdHandle GetConsoleScreenBufferInfo!"},
        CallsCase{"ClearScreenWithColors", [] { console::ClearScreenWithColors(10, 0); },
                  "GetStdHandle SetConsoleTextAttribute GetConsoleScreenBufferInfo "
                  "FillConsoleOutputCharacterW FillConsoleOutputAttribute "
                  "SetConsoleCursorPosition",
                  "GetStdHandle SetConsoleTextAttribute! GetConsoleScreenBufferInfo!"},
        CallsCase{"GotoXY", [] { console::GotoXY(3, 4); }, "GetStdHandle SetConsoleCursorPosition",
                  "GetStdHandle SetConsoleCursorPosition!"},
        CallsCase{"WriteTextAt", [] { console::WriteTextAt(3, 4, "abc", 3); },
                  "GetStdHandle MultiByteToWideChar SetConsoleCursorPosition WriteConsoleW",
                  "GetStdHandle MultiByteToWideChar SetConsoleCursorPosition! WriteConsoleW!"},
        CallsCase{"WriteText", [] { console::WriteText("abc", 3); },
                  "GetStdHandle MultiByteToWideChar WriteConsoleW",
                  "GetStdHandle MultiByteToWideChar WriteConsoleW!"},
        CallsCase{"SetForeColor", [] { console::SetForeColor(12); },
                  "GetStdHandle GetConsoleScreenBufferInfo SetConsoleTextAttribute",
                  "GetStdHandle GetConsoleScreenBufferInfo!"},
        CallsCase{"SetColors", [] { console::SetColors(10, 0); },
                  "GetStdHandle SetConsoleTextAttribute", "GetStdHandle SetConsoleTextAttribute!"},
        CallsCase{"HideTextCursor", [] { console::HideTextCursor(); },
                  "GetStdHandle GetConsoleCursorInfo SetConsoleCursorInfo",
                  "GetStdHandle GetConsoleCursorInfo!"},
        CallsCase{"ShowTextCursor", [] { console::ShowTextCursor(); },
                  "GetStdHandle GetConsoleCursorInfo SetConsoleCursorInfo",
                  "GetStdHandle GetConsoleCursorInfo!"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
