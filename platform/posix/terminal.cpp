#include "platform/posix/terminal.h"

#include <algorithm>
#include <cstdio>

namespace posix {
namespace {

constexpr int kTabWidth = 8;

constexpr char16_t kHighHalf[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// VT colour number of a console colour nibble: red and blue trade places.
int VtColor(int nibble) {
  return (nibble & 1) << 2 | (nibble & 2) | (nibble & 4) >> 2;
}

// Units that surely take one column, so the terminal's cursor is known to
// have moved by one after them. Anything else is followed by an explicit move.
bool SingleColumnAscii(char16_t unit) {
  return unit >= 0x20 && unit < 0x7F;
}

}  // namespace

char16_t FromWindows1252(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHighHalf[byte - 0x80];
  return byte;
}

int ConvertAnsiText(os::DWORD flags, const char* text, int length, os::WCHAR* wide,
                    int wide_length) {
  if (text == nullptr || length == 0 || length < -1 || wide_length < 0 ||
      (wide == nullptr && wide_length != 0))
    return 0;
  std::size_t count =
      length == -1 ? std::char_traits<char>::length(text) + 1 : static_cast<std::size_t>(length);
  for (std::size_t i = 0; i < count; ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    if ((flags & os::MB_ERR_INVALID_CHARS) != 0 && byte != 0 && FromWindows1252(byte) == 0)
      return 0;
  }
  if (wide_length == 0) return static_cast<int>(count);
  if (count > static_cast<std::size_t>(wide_length)) return 0;
  for (std::size_t i = 0; i < count; ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    char16_t unit = FromWindows1252(byte);
    wide[i] = unit != 0 ? unit : static_cast<char16_t>(byte);
  }
  return static_cast<int>(count);
}

int ForegroundSgr(os::WORD attribute) {
  return ((attribute & 0x08) != 0 ? 90 : 30) + VtColor(attribute & 0x0F);
}

int BackgroundSgr(os::WORD attribute) {
  return ((attribute & 0x80) != 0 ? 100 : 40) + VtColor((attribute >> 4) & 0x0F);
}

std::string SgrSequence(os::WORD attribute) {
  if ((attribute & 0xFF) == 0x07) return "\x1b[0m";
  char sequence[32];
  std::snprintf(sequence, sizeof sequence, "\x1b[0;%d;%dm", ForegroundSgr(attribute),
                BackgroundSgr(attribute));
  return sequence;
}

void AppendGlyph(std::string& out, char16_t unit) {
  if (unit < 0x20 || (unit >= 0x7F && unit < 0xA0) || (unit >= 0xD800 && unit <= 0xDFFF)) {
    out.push_back('?');
  } else if (unit == 0xAD) {
    out.push_back('-');  // a soft hyphen takes no column on many terminals
  } else if (unit < 0x80) {
    out.push_back(static_cast<char>(unit));
  } else if (unit < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (unit >> 6)));
    out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (unit >> 12)));
    out.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
  }
}

// ---------------------------------------------------------------------------

TerminalScreen::TerminalScreen(int width, int height)
    : width_(std::max(1, width)),
      height_(std::max(1, height)),
      cells_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_)) {}

void TerminalScreen::Resize(int width, int height) {
  width = std::max(1, width);
  height = std::max(1, height);
  if (width == width_ && height == height_) return;
  std::vector<ScreenCell> cells(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int y = 0; y < std::min(height, height_); ++y)
    for (int x = 0; x < std::min(width, width_); ++x)
      cells[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
            static_cast<std::size_t>(x)] = CellAt(x, y);
  cells_.swap(cells);
  width_ = width;
  height_ = height;
  x_ = std::min(x_, width_ - 1);
  y_ = std::min(y_, height_ - 1);
  term_known_ = false;
  term_sgr_ = -1;
  if (!placed_) return;
  // The terminal may have reflowed or cut what it showed: draw it all again.
  DrawRange(0, cells_.size());
  MoveTo(x_, y_);
}

bool TerminalScreen::Inside(int x, int y) const {
  return x >= 0 && y >= 0 && x < width_ && y < height_;
}

ScreenCell& TerminalScreen::CellAt(int x, int y) {
  return cells_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                static_cast<std::size_t>(x)];
}

ScreenCell TerminalScreen::At(int x, int y) const {
  if (!Inside(x, y)) return ScreenCell{u'\0', 0};
  return cells_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                static_cast<std::size_t>(x)];
}

os::COORD TerminalScreen::Cursor() const {
  return os::COORD{static_cast<os::SHORT>(x_), static_cast<os::SHORT>(y_)};
}

bool TerminalScreen::SetCursor(os::COORD position) {
  if (!Inside(position.X, position.Y)) return false;
  x_ = position.X;
  y_ = position.Y;
  placed_ = true;
  if (!overlay_) MoveTo(x_, y_);
  return true;
}

void TerminalScreen::SetAttribute(os::WORD attribute) {
  attribute_ = attribute;
}

bool TerminalScreen::SetCursorInfo(os::DWORD size, bool visible) {
  if (size < 1 || size > 100) return false;
  cursor_size_ = size;
  visible_ = visible;
  if (!overlay_) EmitVisibility(visible_);
  return true;
}

long TerminalScreen::FillCharacter(char16_t ch, os::DWORD length, os::COORD first) {
  if (!Inside(first.X, first.Y)) return -1;
  std::size_t start = static_cast<std::size_t>(first.Y) * static_cast<std::size_t>(width_) +
                      static_cast<std::size_t>(first.X);
  std::size_t count = std::min<std::size_t>(length, cells_.size() - start);
  for (std::size_t i = 0; i < count; ++i) cells_[start + i].ch = ch;
  BeginFixedDrawing();
  DrawRange(start, count);
  EndFixedDrawing();
  return static_cast<long>(count);
}

long TerminalScreen::FillAttribute(os::WORD attribute, os::DWORD length, os::COORD first) {
  if (!Inside(first.X, first.Y)) return -1;
  std::size_t start = static_cast<std::size_t>(first.Y) * static_cast<std::size_t>(width_) +
                      static_cast<std::size_t>(first.X);
  std::size_t count = std::min<std::size_t>(length, cells_.size() - start);
  for (std::size_t i = 0; i < count; ++i) cells_[start + i].attribute = attribute;
  BeginFixedDrawing();
  DrawRange(start, count);
  EndFixedDrawing();
  return static_cast<long>(count);
}

void TerminalScreen::Write(std::u16string_view text) {
  if (!placed_) {
    for (char16_t unit : text) StreamUnit(unit);
    return;
  }
  for (char16_t unit : text) Process(unit);
  MoveTo(x_, y_);
}

void TerminalScreen::WriteBytes(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (char byte : bytes) {
    char16_t unit = FromWindows1252(static_cast<unsigned char>(byte));
    text.push_back(unit != 0 ? unit : static_cast<char16_t>(static_cast<unsigned char>(byte)));
  }
  Write(text);
}

// Before the program has placed its cursor the text goes where the terminal's
// cursor is, with the line ends a console gives it.
void TerminalScreen::StreamUnit(char16_t unit) {
  switch (unit) {
    case u'\n':
      out_ += "\r\n";
      break;
    case u'\r':
      out_ += '\r';
      break;
    case u'\t':
      out_ += '\t';
      break;
    case u'\b':
      out_ += '\b';
      break;
    case u'\a':
      out_ += '\a';
      break;
    default:
      EmitSgr(attribute_);
      AppendGlyph(out_, unit);
  }
  term_known_ = false;
}

void TerminalScreen::Process(char16_t unit) {
  switch (unit) {
    case u'\n':  // the console returns to column 0 with the line feed
      NewLine();
      break;
    case u'\r':
      x_ = 0;
      break;
    case u'\t': {  // blanks up to the next stop; a stop at the row's end wraps
      int stop = (x_ / kTabWidth + 1) * kTabWidth;
      while (x_ < stop) {
        bool last_in_row = x_ == width_ - 1;
        Put(u' ');
        if (last_in_row) break;
      }
      break;
    }
    case u'\b':
      if (x_ > 0) --x_;
      break;
    case u'\a':
      out_ += '\a';
      break;
    default:
      Put(unit);
  }
}

void TerminalScreen::Put(char16_t unit) {
  ScreenCell& cell = CellAt(x_, y_);
  cell = ScreenCell{unit, attribute_};
  DrawCell(x_, y_, cell);
  if (++x_ == width_) NewLine();
}

// A console moves to the next row as soon as the last column is written, and
// scrolls when that row is below the buffer.
void TerminalScreen::NewLine() {
  x_ = 0;
  if (y_ + 1 < height_) {
    ++y_;
    return;
  }
  cells_.erase(cells_.begin(), cells_.begin() + width_);
  cells_.resize(cells_.size() + static_cast<std::size_t>(width_), ScreenCell{u' ', attribute_});
  MoveTo(0, height_ - 1);
  out_ +=
      "\x1b"
      "D";  // index: at the bottom row the terminal scrolls up too
  DrawRange(cells_.size() - static_cast<std::size_t>(width_), static_cast<std::size_t>(width_));
}

void TerminalScreen::DrawCell(int x, int y, const ScreenCell& cell) {
  MoveTo(x, y);
  EmitSgr(cell.attribute);
  AppendGlyph(out_, cell.ch);
  // After the last column the terminal waits to wrap; after a glyph of
  // unknown width it may be anywhere: either way the next cell moves first.
  if (SingleColumnAscii(cell.ch) && term_x_ + 1 < width_)
    ++term_x_;
  else
    term_known_ = false;
}

void TerminalScreen::DrawRange(std::size_t start, std::size_t count) {
  for (std::size_t i = start; i < start + count; ++i) {
    int x = static_cast<int>(i % static_cast<std::size_t>(width_));
    int y = static_cast<int>(i / static_cast<std::size_t>(width_));
    DrawCell(x, y, cells_[i]);
  }
}

void TerminalScreen::MoveTo(int x, int y) {
  if (term_known_ && term_x_ == x && term_y_ == y) return;
  char sequence[32];
  std::snprintf(sequence, sizeof sequence, "\x1b[%d;%dH", y + 1, x + 1);
  out_ += sequence;
  term_known_ = true;
  term_x_ = x;
  term_y_ = y;
}

void TerminalScreen::EmitSgr(os::WORD attribute) {
  int wanted = attribute & 0xFF;
  if (term_sgr_ == wanted) return;
  out_ += SgrSequence(attribute);
  term_sgr_ = wanted;
}

void TerminalScreen::EmitVisibility(bool visible) {
  int wanted = visible ? 1 : 0;
  if (term_visible_ == wanted) return;
  out_ += visible ? "\x1b[?25h" : "\x1b[?25l";
  term_visible_ = wanted;
}

// Drawing at fixed cells before the program placed its cursor must leave the
// terminal's cursor (and colours) where the stream left them.
void TerminalScreen::BeginFixedDrawing() {
  if (placed_) return;
  out_ +=
      "\x1b"
      "7";
  term_known_ = false;
}

void TerminalScreen::EndFixedDrawing() {
  if (placed_) {
    MoveTo(x_, y_);
    return;
  }
  out_ +=
      "\x1b"
      "8";
  term_known_ = false;
  term_sgr_ = -1;
}

void TerminalScreen::BeginOverlay() {
  BeginFixedDrawing();
  overlay_ = true;
  EmitVisibility(false);
}

void TerminalScreen::DrawOverlay(int x, int y, const std::vector<ScreenCell>& cells) {
  for (std::size_t i = 0; i < cells.size(); ++i) {
    int cx = x + static_cast<int>(i);
    if (Inside(cx, y)) DrawCell(cx, y, cells[i]);
  }
}

void TerminalScreen::EndOverlay(int x, int y, int width, int height) {
  int left = std::max(0, x);
  int right = std::min(width_, x + width);
  for (int row = std::max(0, y); row < std::min(height_, y + height) && left < right; ++row) {
    std::size_t start = static_cast<std::size_t>(row) * static_cast<std::size_t>(width_) +
                        static_cast<std::size_t>(left);
    DrawRange(start, static_cast<std::size_t>(right - left));
  }
  overlay_ = false;
  EndFixedDrawing();
  EmitVisibility(visible_);
}

std::string_view TerminalScreen::RestoreSequence() {
  return "\x1b[0m\x1b[?25h";
}

std::string TerminalScreen::TakeOutput() {
  std::string out;
  out.swap(out_);
  return out;
}

// ---------------------------------------------------------------------------

std::vector<std::u16string> SplitBoxText(std::u16string_view text, int width) {
  auto limit = static_cast<std::size_t>(std::max(1, width));
  std::vector<std::u16string> lines;
  auto wrap = [&](std::u16string line) {
    while (line.size() > limit) {
      std::size_t blank = line.rfind(u' ', limit);
      if (blank == std::u16string::npos || blank == 0) {
        lines.push_back(line.substr(0, limit));
        line.erase(0, limit);
      } else {
        lines.push_back(line.substr(0, blank));
        line.erase(0, blank + 1);
      }
    }
    lines.push_back(std::move(line));
  };
  std::u16string line;
  for (char16_t unit : text) {
    if (unit == u'\n') {
      wrap(std::move(line));
      line.clear();
    } else if (unit == u'\t') {
      do line.push_back(u' ');
      while (line.size() % kTabWidth != 0);
    } else if (unit != u'\r') {
      line.push_back(unit);
    }
  }
  wrap(std::move(line));
  return lines;
}

BoxLayout LayoutBox(std::u16string_view caption, std::u16string_view text, int screen_width,
                    int screen_height) {
  // A frame edge and two blanks on each side of the text.
  constexpr int kSides = 6;
  constexpr std::u16string_view kButton = u"[  OK  ]";
  int max_inner = std::max(1, screen_width - kSides);
  std::vector<std::u16string> lines = SplitBoxText(text, max_inner);

  int inner = std::max(static_cast<int>(kButton.size()), static_cast<int>(caption.size()));
  for (const auto& line : lines) inner = std::max(inner, static_cast<int>(line.size()));
  inner = std::min(inner, max_inner);

  // Top edge, blank, the lines, blank, button, bottom edge.
  int fixed_rows = 5;
  auto room = static_cast<std::size_t>(std::max(0, screen_height - fixed_rows));
  if (lines.size() > room) lines.resize(room);

  BoxLayout box;
  box.width = inner + kSides;
  box.height = static_cast<int>(lines.size()) + fixed_rows;
  box.x = std::max(0, (screen_width - box.width) / 2);
  box.y = std::max(0, (screen_height - box.height) / 2);

  auto row_of = [&](char16_t left, char16_t fill, char16_t right) {
    std::vector<ScreenCell> row(static_cast<std::size_t>(box.width),
                                ScreenCell{fill, kBoxAttribute});
    row.front().ch = left;
    row.back().ch = right;
    return row;
  };
  // Units from column `at` on, never over the right edge.
  auto put = [](std::vector<ScreenCell>& row, int at, std::u16string_view units) {
    for (std::size_t i = 0, x = static_cast<std::size_t>(at);
         i < units.size() && x + 1 < row.size(); ++i, ++x)
      row[x].ch = units[i];
  };

  std::vector<ScreenCell> top = row_of(u'\u250C', u'\u2500', u'\u2510');
  if (!caption.empty()) {
    std::u16string_view shown = caption.substr(0, static_cast<std::size_t>(box.width - kSides));
    put(top, 2, u" ");
    put(top, 3, shown);
    put(top, 3 + static_cast<int>(shown.size()), u" ");
  }
  box.rows.push_back(top);
  box.rows.push_back(row_of(u'\u2502', u' ', u'\u2502'));
  for (const auto& line : lines) {
    box.rows.push_back(row_of(u'\u2502', u' ', u'\u2502'));
    put(box.rows.back(), 3, line);
  }
  box.rows.push_back(row_of(u'\u2502', u' ', u'\u2502'));
  std::vector<ScreenCell> button_row = row_of(u'\u2502', u' ', u'\u2502');
  int button_x = std::max(1, (box.width - static_cast<int>(kButton.size())) / 2);
  put(button_row, button_x, kButton);
  for (std::size_t i = 0, x = static_cast<std::size_t>(button_x);
       i < kButton.size() && x + 1 < button_row.size(); ++i, ++x)
    button_row[x].attribute = kButtonAttribute;
  box.rows.push_back(button_row);
  box.rows.push_back(row_of(u'\u2514', u'\u2500', u'\u2518'));
  return box;
}

}  // namespace posix
