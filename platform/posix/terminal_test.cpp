#include "platform/posix/terminal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using posix::ScreenCell;
using posix::TerminalScreen;

// ---------------------------------------------------------------------------
// Colour mapping.

struct ColorRow {
  int index;
  int foreground;  // SGR for the index as foreground
};

// Console index -> VT colour: blue and red trade places, intensity is the
// bright range.
constexpr ColorRow kColors[16] = {
    {0, 30}, {1, 34}, {2, 32},  {3, 36},  {4, 31},  {5, 35},  {6, 33},  {7, 37},
    {8, 90}, {9, 94}, {10, 92}, {11, 96}, {12, 91}, {13, 95}, {14, 93}, {15, 97},
};

TEST(TerminalColors, AllSixteenIndices) {
  for (const ColorRow& row : kColors) {
    auto as_fore = static_cast<os::WORD>(row.index);
    auto as_back = static_cast<os::WORD>(row.index << 4);
    EXPECT_EQ(posix::ForegroundSgr(as_fore), row.foreground) << "index " << row.index;
    EXPECT_EQ(posix::BackgroundSgr(as_back), row.foreground + 10) << "index " << row.index;
    // Each nibble is read alone.
    EXPECT_EQ(posix::ForegroundSgr(static_cast<os::WORD>(as_fore | 0xFF70)), row.foreground);
    EXPECT_EQ(posix::BackgroundSgr(static_cast<os::WORD>(as_back | 0xFF07)), row.foreground + 10);
  }
}

TEST(TerminalColors, Sequences) {
  EXPECT_EQ(posix::SgrSequence(0x0A), "\x1b[0;92;40m");  // the calibration screen
  EXPECT_EQ(posix::SgrSequence(0x1C), "\x1b[0;91;44m");
  EXPECT_EQ(posix::SgrSequence(0x70), "\x1b[0;30;47m");
  EXPECT_EQ(posix::SgrSequence(0xF9), "\x1b[0;94;107m");
  EXPECT_EQ(posix::SgrSequence(0x07), "\x1b[0m");  // the terminal's own colours
  EXPECT_EQ(posix::SgrSequence(0x8007), "\x1b[0m");
}

// ---------------------------------------------------------------------------
// Glyphs and the code page.

std::string Glyphs(std::u16string_view units) {
  std::string out;
  for (char16_t unit : units) posix::AppendGlyph(out, unit);
  return out;
}

TEST(TerminalGlyphs, ControlsNeverReachTheTerminal) {
  EXPECT_EQ(Glyphs(u"\x1b[2J\a\x7f\x9b"), "?[2J???");
  EXPECT_EQ(Glyphs(std::u16string(1, char16_t{0xD800})), "?");
  EXPECT_EQ(Glyphs(u"\u00AD"), "-");
  EXPECT_EQ(Glyphs(u"A\u00E9\u2500\u20AC"), "A\xC3\xA9\xE2\x94\x80\xE2\x82\xAC");
}

// The prompts' second lines hold Big5 bytes one per code unit: they show as
// the Latin-1 characters of those values, as on the station's Windows box.
TEST(TerminalGlyphs, Big5BytesShowAsLatin1) {
  const std::u16string fixture = {0xBD, 0xD0, 0xB1, 0x4E, 0xAA, 0x76, 0xA8, 0xE3, 0xA9, 0xF1,
                                  0xA6, 0x62, u'L', u'i', u'g', u'h', u't', u'/', u'P', u'r',
                                  u'o', u'x', u'i', u'm', u'i', u't', u'y', 0xB7, 0x50, 0xC0,
                                  0xB3, 0xBE, 0xB9, 0xA4, 0x57, 0xA4, 0xE8};
  const std::u16string start = {0xBD, 0xD0, 0xAB, 0xF6, 0xBD, 0x54, 0xA9, 0x77, 0xB6,
                                0x7D, 0xA9, 0x6C, 0xAE, 0xD5, 0xA5, 0xBF, 0x2E};
  EXPECT_EQ(Glyphs(fixture),
            "\u00BD\u00D0\u00B1N\u00AAv\u00A8\u00E3\u00A9\u00F1\u00A6bLight/Proximity\u00B7P"
            "\u00C0\u00B3\u00BE\u00B9\u00A4W\u00A4\u00E8");
  EXPECT_EQ(Glyphs(start),
            "\u00BD\u00D0\u00AB\u00F6\u00BDT\u00A9w\u00B6}\u00A9l\u00AE\u00D5"
            "\u00A5\u00BF.");
}

struct AnsiCase {
  const char* name;
  std::string bytes;
  int length;
  os::DWORD flags;
  int wide_length;
  int result;
  std::u16string wide;
};

class AnsiConversion : public ::testing::TestWithParam<AnsiCase> {};

TEST_P(AnsiConversion, ReadsWindows1252) {
  const AnsiCase& c = GetParam();
  char16_t out[8] = {};
  int result = posix::ConvertAnsiText(c.flags, c.bytes.data(), c.length,
                                      c.wide_length == 0 ? nullptr : out, c.wide_length);
  EXPECT_EQ(result, c.result);
  if (c.wide_length > 0 && result > 0) {
    EXPECT_EQ(std::u16string(out, static_cast<std::size_t>(result)), c.wide);
  }
}

constexpr os::DWORD kStrict = os::MB_ERR_INVALID_CHARS;

INSTANTIATE_TEST_SUITE_P(
    Terminal, AnsiConversion,
    ::testing::Values(AnsiCase{"exact_length", "LUX.xyz", 4, kStrict, 8, 4, u"LUX."},
                      AnsiCase{"high_half", "\x80\x9F\xA0\xFF", 4, kStrict, 8, 4,
                               u"\u20AC\u0178\u00A0\u00FF"},
                      AnsiCase{"undefined_refused", "a\x90", 2, kStrict, 8, 0, u""},
                      AnsiCase{"undefined_passed", "a\x90", 2, 0, 8, 2, u"a\u0090"},
                      AnsiCase{"size_query", "abc", 3, kStrict, 0, 3, u""},
                      AnsiCase{"terminated", "ab", -1, kStrict, 8, 3, std::u16string(u"ab\0", 3)},
                      AnsiCase{"length_0", "ab", 0, kStrict, 8, 0, u""},
                      AnsiCase{"too_small", "abcd", 4, kStrict, 3, 0, u""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// The screen: what the terminal shows after the produced sequences must be
// what the shadow holds. FakeVt plays the terminal: a VT100 subset with the
// delayed wrap at the last column that real terminals have.

struct VtCell {
  char32_t ch = U' ';
  int fore = 39;
  int back = 49;
};

class FakeVt {
 public:
  FakeVt(int width, int height)
      : width_(width), height_(height), cells_(static_cast<std::size_t>(width * height)) {}

  void Feed(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
      auto byte = static_cast<unsigned char>(bytes[i]);
      if (byte == 0x1B) {
        i = Escape(bytes, i + 1);
      } else if (byte == '\r') {
        x_ = 0;
        pending_ = false;
        ++i;
      } else if (byte == '\n') {
        Index();
        ++i;
      } else if (byte == '\a') {
        ++bells;
        ++i;
      } else {
        char32_t ch = byte;
        std::size_t extra = byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
        if (extra > 0) ch = byte & (extra == 2 ? 0x0F : 0x1F);
        for (std::size_t k = 1; k <= extra; ++k)
          ch = (ch << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
        Print(ch);
        i += extra + 1;
      }
    }
  }

  const VtCell& At(int x, int y) const { return cells_[static_cast<std::size_t>(y * width_ + x)]; }
  int x() const { return x_; }
  int y() const { return y_; }
  bool visible = true;
  int bells = 0;
  int scrolls = 0;

 private:
  void Print(char32_t ch) {
    if (pending_) {
      x_ = 0;
      Index();
    }
    cells_[static_cast<std::size_t>(y_ * width_ + x_)] = VtCell{ch, fore_, back_};
    if (x_ == width_ - 1)
      pending_ = true;
    else
      ++x_;
  }

  void Index() {
    pending_ = false;
    if (y_ + 1 < height_) {
      ++y_;
      return;
    }
    ++scrolls;
    cells_.erase(cells_.begin(), cells_.begin() + width_);
    cells_.resize(cells_.size() + static_cast<std::size_t>(width_), VtCell{U' ', fore_, back_});
  }

  std::size_t Escape(const std::string& bytes, std::size_t i) {
    char kind = bytes[i];
    if (kind == '7') {
      saved_ = {x_, y_, fore_, back_};
      saved_pending_ = pending_;
      return i + 1;
    }
    if (kind == '8') {
      x_ = saved_[0];
      y_ = saved_[1];
      fore_ = saved_[2];
      back_ = saved_[3];
      pending_ = saved_pending_;
      return i + 1;
    }
    if (kind == 'D') {
      Index();
      return i + 1;
    }
    EXPECT_EQ(kind, '[') << "unexpected escape";
    ++i;
    bool private_mode = bytes[i] == '?';
    if (private_mode) ++i;
    std::vector<int> numbers(1, 0);
    for (; (bytes[i] >= '0' && bytes[i] <= '9') || bytes[i] == ';'; ++i) {
      if (bytes[i] == ';')
        numbers.push_back(0);
      else
        numbers.back() = numbers.back() * 10 + (bytes[i] - '0');
    }
    char final = bytes[i];
    if (private_mode && numbers[0] == 25) {
      visible = final == 'h';
    } else if (final == 'H') {
      y_ = numbers[0] - 1;
      x_ = numbers.size() > 1 ? numbers[1] - 1 : 0;
      pending_ = false;
    } else if (final == 'm') {
      for (int n : numbers) {
        if (n == 0) {
          fore_ = 39;
          back_ = 49;
        } else if ((n >= 30 && n <= 37) || (n >= 90 && n <= 97)) {
          fore_ = n;
        } else {
          back_ = n;
        }
      }
    } else {
      ADD_FAILURE() << "unexpected sequence ending in " << final;
    }
    return i + 1;
  }

  int width_;
  int height_;
  std::vector<VtCell> cells_;
  int x_ = 0;
  int y_ = 0;
  bool pending_ = false;
  int fore_ = 39;
  int back_ = 49;
  std::vector<int> saved_ = {0, 0, 39, 49};
  bool saved_pending_ = false;
};

// The terminal shows every shadow cell in its colours, and its cursor is the
// program's.
void ExpectShows(const FakeVt& vt, const TerminalScreen& screen) {
  for (int y = 0; y < screen.height(); ++y) {
    for (int x = 0; x < screen.width(); ++x) {
      ScreenCell cell = screen.At(x, y);
      bool plain = (cell.attribute & 0xFF) == 0x07;
      int fore = plain ? 39 : posix::ForegroundSgr(cell.attribute);
      int back = plain ? 49 : posix::BackgroundSgr(cell.attribute);
      ASSERT_EQ(vt.At(x, y).ch, cell.ch) << "cell " << x << "," << y;
      ASSERT_EQ(vt.At(x, y).fore, fore) << "cell " << x << "," << y;
      ASSERT_EQ(vt.At(x, y).back, back) << "cell " << x << "," << y;
    }
  }
  if (screen.CursorPlaced()) {
    EXPECT_EQ(vt.x(), screen.Cursor().X);
    EXPECT_EQ(vt.y(), screen.Cursor().Y);
  }
  EXPECT_EQ(vt.visible, screen.CursorVisible());
}

class Terminal : public ::testing::Test {
 protected:
  Terminal() : screen_(20, 6), vt_(20, 6) {}
  void Show() { vt_.Feed(screen_.TakeOutput()); }
  void Place(int x, int y) {
    ASSERT_TRUE(screen_.SetCursor(os::COORD{static_cast<os::SHORT>(x), static_cast<os::SHORT>(y)}));
  }
  std::string Row(int y) {
    std::string row;
    for (int x = 0; x < screen_.width(); ++x) row.push_back(static_cast<char>(screen_.At(x, y).ch));
    return row.erase(row.find_last_not_of(' ') + 1);
  }
  void Clear(os::WORD attribute) {
    screen_.SetAttribute(attribute);
    EXPECT_EQ(screen_.FillCharacter(u' ', 120, os::COORD{0, 0}), 120);
    EXPECT_EQ(screen_.FillAttribute(attribute, 120, os::COORD{0, 0}), 120);
    Place(0, 0);
  }

  TerminalScreen screen_;
  FakeVt vt_;
};

TEST_F(Terminal, CalibrationScreenDrawsWhereTheShadowSays) {
  screen_.SetCursorInfo(25, false);
  Clear(0x0A);
  Place(2, 1);
  screen_.Write(u"Tool\t(V1.70)");
  Place(0, 2);
  screen_.WriteBytes(std::string(20, '='));  // the rule line fills its row
  Place(5, 3);
  screen_.Write(u"1234 LUX.");
  Place(5, 3);
  screen_.Write(u"5 LUX.");
  Show();
  EXPECT_EQ(Row(1), "  Tool  (V1.70)");
  EXPECT_EQ(Row(2), std::string(20, '='));
  EXPECT_EQ(Row(3), "     5 LUX.UX.");
  ExpectShows(vt_, screen_);
  EXPECT_FALSE(vt_.visible);
}

TEST_F(Terminal, LastColumnMovesOnAtOnceAsAConsoleDoes) {
  Clear(0x07);
  Place(17, 1);
  screen_.Write(u"abcde");
  Show();
  EXPECT_EQ(Row(1), "                 abc");
  EXPECT_EQ(Row(2), "de");
  EXPECT_EQ(screen_.Cursor().X, 2);
  EXPECT_EQ(screen_.Cursor().Y, 2);
  ExpectShows(vt_, screen_);
  // A full row leaves the cursor at the start of the next, where a line feed
  // then moves it one row further.
  Place(0, 3);
  screen_.WriteBytes(std::string(20, '-') + "\n\rx");
  Show();
  EXPECT_EQ(Row(5), "x");
  ExpectShows(vt_, screen_);
}

TEST_F(Terminal, BottomRowScrollsTheScreen) {
  Clear(0x1F);
  Place(0, 4);
  screen_.Write(u"four\nfive\nsix");
  Show();
  EXPECT_EQ(Row(3), "four");
  EXPECT_EQ(Row(4), "five");
  EXPECT_EQ(Row(5), "six");
  EXPECT_EQ(screen_.At(19, 5).attribute, 0x1F);
  EXPECT_EQ(vt_.scrolls, 1);
  ExpectShows(vt_, screen_);
}

TEST_F(Terminal, TextCannotCommandTheTerminal) {
  Clear(0x07);
  Place(0, 0);
  screen_.Write(
      u"a\x1b[2Jb\x9b"
      u"1mc");
  std::string out = screen_.TakeOutput();
  EXPECT_EQ(out.find("\x1b[2J"), std::string::npos);
  EXPECT_EQ(out.find("\xC2\x9B"), std::string::npos);
  vt_.Feed(out);
  EXPECT_EQ(vt_.At(1, 0).ch, U'?');
}

TEST_F(Terminal, TextBeforeTheCursorIsPlacedIsAStream) {
  screen_.WriteBytes("Calibrated:0\n\r");
  EXPECT_EQ(screen_.TakeOutput(), "\x1b[0mCalibrated:0\r\n\r");
  // Cells drawn meanwhile leave the terminal's cursor where the stream had it.
  screen_.FillCharacter(u'#', 3, os::COORD{4, 2});
  EXPECT_EQ(screen_.TakeOutput(),
            "\x1b"
            "7\x1b[3;5H###\x1b"
            "8");
  screen_.SetAttribute(0x0A);
  screen_.WriteBytes("Data Transfer=64\r");
  EXPECT_EQ(screen_.TakeOutput(), "\x1b[0;92;40mData Transfer=64\r");
}

TEST_F(Terminal, OverlayLeavesTheShadowAndPutsTheScreenBack) {
  Clear(0x0A);
  Place(3, 2);
  screen_.Write(u"LEVEL=3");
  Place(1, 1);
  Show();
  EXPECT_TRUE(vt_.visible);

  screen_.BeginOverlay();
  screen_.DrawOverlay(2, 2, std::vector<ScreenCell>(30, ScreenCell{u'#', 0x70}));
  Show();
  EXPECT_FALSE(vt_.visible);
  EXPECT_EQ(vt_.At(2, 2).ch, U'#');
  EXPECT_EQ(vt_.At(19, 2).ch, U'#');  // clipped at the screen's edge
  EXPECT_EQ(Row(2), "   LEVEL=3");

  screen_.EndOverlay(2, 2, 30, 1);
  Show();
  ExpectShows(vt_, screen_);
  EXPECT_TRUE(vt_.visible);
}

TEST_F(Terminal, ResizeKeepsWhatFitsAndDrawsItAgain) {
  Clear(0x0A);
  Place(15, 4);
  screen_.Write(u"edge");
  Show();
  screen_.Resize(17, 5);
  FakeVt smaller(17, 5);
  smaller.Feed(screen_.TakeOutput());
  EXPECT_EQ(screen_.width(), 17);
  EXPECT_EQ(Row(4), "               ed");
  EXPECT_EQ(screen_.Cursor().X, 16);
  EXPECT_EQ(screen_.Cursor().Y, 4);
  ExpectShows(smaller, screen_);
}

TEST_F(Terminal, RefusesWhatAConsoleRefuses) {
  EXPECT_FALSE(screen_.SetCursor(os::COORD{20, 0}));
  EXPECT_FALSE(screen_.SetCursor(os::COORD{0, -1}));
  EXPECT_FALSE(screen_.CursorPlaced());
  EXPECT_FALSE(screen_.SetCursorInfo(0, false));
  EXPECT_FALSE(screen_.SetCursorInfo(101, false));
  EXPECT_TRUE(screen_.CursorVisible());
  EXPECT_EQ(screen_.FillCharacter(u'x', 1, os::COORD{0, 6}), -1);
  EXPECT_EQ(screen_.FillAttribute(0x1F, 500, os::COORD{19, 5}), 1);
  EXPECT_EQ(screen_.TakeOutput(),
            "\x1b"
            "7\x1b[6;20H\x1b[0;97;44m \x1b"
            "8");
}

TEST_F(Terminal, HideAndShowKeepTheSize) {
  ASSERT_TRUE(screen_.SetCursorInfo(60, true));
  ASSERT_TRUE(screen_.SetCursorInfo(screen_.CursorSize(), false));
  EXPECT_EQ(screen_.TakeOutput(), "\x1b[?25h\x1b[?25l");
  EXPECT_EQ(screen_.CursorSize(), 60u);
  EXPECT_EQ(std::string(TerminalScreen::RestoreSequence()), "\x1b[0m\x1b[?25h");
}

TEST_F(Terminal, BellRingsAndLeavesNoMark) {
  Clear(0x07);
  Place(0, 0);
  screen_.Write(u"a\ab");
  Show();
  EXPECT_EQ(vt_.bells, 1);
  EXPECT_EQ(Row(0), "ab");
  ExpectShows(vt_, screen_);
}

// ---------------------------------------------------------------------------
// The operator's box.

struct SplitCase {
  const char* name;
  std::u16string text;
  int width;
  std::vector<std::u16string> lines;
};

class BoxText : public ::testing::TestWithParam<SplitCase> {};

TEST_P(BoxText, SplitsIntoLines) {
  EXPECT_EQ(posix::SplitBoxText(GetParam().text, GetParam().width), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Terminal, BoxText,
    ::testing::Values(
        SplitCase{"line_feed", u"first\nsecond", 40, {u"first", u"second"}},
        SplitCase{"carriage_returns_dropped", u"first\r\nsecond\r", 40, {u"first", u"second"}},
        SplitCase{"empty", u"", 40, {u""}},
        SplitCase{"trailing_line_feed", u"a\n", 40, {u"a", u""}},
        SplitCase{"blank_line_kept", u"a\n\nb", 40, {u"a", u"", u"b"}},
        SplitCase{"tab_to_next_stop", u"ab\tc\td", 40, {u"ab      c       d"}},
        SplitCase{"wraps_at_last_blank", u"one two three four", 9, {u"one two", u"three", u"four"}},
        SplitCase{"cuts_without_blank", u"abcdefghij", 4, {u"abcd", u"efgh", u"ij"}},
        SplitCase{"exact_fit", u"abcd", 4, {u"abcd"}},
        SplitCase{"width_below_one", u"ab", 0, {u"a", u"b"}}),
    [](const auto& info) { return std::string(info.param.name); });

std::u16string RowUnits(const std::vector<ScreenCell>& row) {
  std::u16string units;
  for (const ScreenCell& cell : row) units.push_back(cell.ch);
  return units;
}

TEST(TerminalBox, FixturePromptOnTheStationScreen) {
  std::u16string text = u"Please put the fixture on the Ambient/Proximity sensor.\n";
  text += u"\u00BD\u00D0\u00B1N\u00AAv\u00A8\u00E3\u00A9\u00F1\u00A6bLight/Proximity\u00B7P";
  text += u"\u00C0\u00B3\u00BE\u00B9\u00A4W\u00A4\u00E8";
  ASSERT_EQ(text.size(), 93u);
  posix::BoxLayout box = posix::LayoutBox(u"Step 1.", text, 80, 25);
  EXPECT_EQ(box.width, 61);  // the 55-unit first line and the frame
  EXPECT_EQ(box.height, 7);
  EXPECT_EQ(box.x, 9);
  EXPECT_EQ(box.y, 9);
  ASSERT_EQ(box.rows.size(), 7u);
  for (const auto& row : box.rows) ASSERT_EQ(row.size(), 61u);
  EXPECT_EQ(RowUnits(box.rows[0]),
            u"\u250C\u2500 Step 1. " + std::u16string(49, u'\u2500') + u"\u2510");
  EXPECT_EQ(RowUnits(box.rows[1]), u"\u2502" + std::u16string(59, u' ') + u"\u2502");
  EXPECT_EQ(RowUnits(box.rows[2]).substr(0, 58),
            u"\u2502  Please put the fixture on the Ambient/Proximity sensor.");
  EXPECT_EQ(RowUnits(box.rows[3]).substr(3, 37), text.substr(56));
  EXPECT_EQ(RowUnits(box.rows[5]).substr(26, 8), u"[  OK  ]");
  EXPECT_EQ(box.rows[5][26].attribute, posix::kButtonAttribute);
  EXPECT_EQ(box.rows[5][33].attribute, posix::kButtonAttribute);
  EXPECT_EQ(box.rows[5][25].attribute, posix::kBoxAttribute);
  EXPECT_EQ(box.rows[5][34].attribute, posix::kBoxAttribute);
  EXPECT_EQ(RowUnits(box.rows[6]), u"\u2514" + std::u16string(59, u'\u2500') + u"\u2518");
}

TEST(TerminalBox, ShortTextKeepsRoomForTheButton) {
  posix::BoxLayout box = posix::LayoutBox(u"", u"ok?", 80, 25);
  EXPECT_EQ(box.width, 14);
  EXPECT_EQ(RowUnits(box.rows[0]), u"\u250C" + std::u16string(12, u'\u2500') + u"\u2510");
  EXPECT_EQ(RowUnits(box.rows[4]), u"\u2502  [  OK  ]  \u2502");
}

TEST(TerminalBox, LongCaptionAndTextStayOnScreen) {
  std::u16string caption(200, u'c');
  std::u16string text;
  for (int i = 0; i < 40; ++i) text += u"line\n";
  posix::BoxLayout box = posix::LayoutBox(caption, text, 50, 20);
  EXPECT_EQ(box.width, 50);
  EXPECT_EQ(box.height, 20);
  EXPECT_EQ(box.x, 0);
  EXPECT_EQ(box.y, 0);
  std::u16string top = RowUnits(box.rows[0]);
  EXPECT_EQ(top.substr(0, 4), u"\u250C\u2500 c");
  EXPECT_EQ(top.substr(46), u"c \u2500\u2510");
  EXPECT_EQ(RowUnits(box.rows[18]).substr(21, 8), u"[  OK  ]");  // the button survives
  EXPECT_EQ(RowUnits(box.rows[19]).front(), u'\u2514');
}

TEST(TerminalBox, TinyScreenGivesWellFormedRows) {
  for (int width : {0, 1, 7, 13}) {
    posix::BoxLayout box = posix::LayoutBox(u"caption", u"some text here", width, 3);
    ASSERT_EQ(box.rows.size(), static_cast<std::size_t>(box.height));
    for (const auto& row : box.rows) ASSERT_EQ(row.size(), static_cast<std::size_t>(box.width));
    EXPECT_GE(box.x, 0);
    EXPECT_GE(box.y, 0);
    EXPECT_EQ(box.rows.back().back().ch, u'\u2518');
  }
}

}  // namespace
