// The screen model behind the os console calls of the test programs. It keeps
// what a Windows console screen buffer keeps (cells, cursor, current attribute,
// cursor shape) and treats text as a console with processed output and wrap at
// the end of a line does: the legacy console's rules, which are the ones the
// tool's layout was drawn for.

#include "tests/screen.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace screen {
namespace {

// The one handle this console hands out: standard output.
os::HANDLE const kStdout = reinterpret_cast<os::HANDLE>(static_cast<std::uintptr_t>(0x5d0));

constexpr int kTabWidth = 8;
constexpr int kWindowRows = 25;
// ANSI code page of the model: Windows-1252. Zero marks the five bytes the code
// page leaves undefined.
constexpr char16_t kHighHalf[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

struct Console {
  int width = 80;
  int height = 300;
  bool redirected = false;
  std::vector<Cell> cells;
  int x = 0;
  int y = 0;
  int window_top = 0;
  bool visible = true;
  os::DWORD cursor_size = 25;
  os::WORD attribute = 0x07;
  std::string stdout_bytes;
  std::vector<Call> calls;
};

Console& The() {
  static Console console;
  return console;
}

bool Record(const char* name, bool ok) {
  The().calls.push_back(Call{name, ok});
  return ok;
}

// A console call succeeds only on the console's own handle, and not at all
// when standard output is a file.
bool IsConsole(os::HANDLE handle) {
  return handle == kStdout && !The().redirected;
}

int WindowRows() {
  return std::min(kWindowRows, The().height);
}

// Moves the window just far enough to show the cursor.
void FollowCursor() {
  Console& c = The();
  if (c.y < c.window_top) c.window_top = c.y;
  if (c.y >= c.window_top + WindowRows()) c.window_top = c.y - WindowRows() + 1;
}

Cell& CellAt(int x, int y) {
  Console& c = The();
  return c.cells[static_cast<std::size_t>(y) * static_cast<std::size_t>(c.width) +
                 static_cast<std::size_t>(x)];
}

// Cursor to the start of the next row; at the bottom the buffer scrolls up and
// the new last row is blank in the current attribute.
void NewLine() {
  Console& c = The();
  c.x = 0;
  if (c.y + 1 < c.height) {
    ++c.y;
    return;
  }
  c.cells.erase(c.cells.begin(), c.cells.begin() + c.width);
  c.cells.resize(c.cells.size() + static_cast<std::size_t>(c.width), Cell{u' ', c.attribute});
}

void Put(char16_t ch) {
  Console& c = The();
  CellAt(c.x, c.y) = Cell{ch, c.attribute};
  if (++c.x == c.width) NewLine();
}

// One code unit as the console processes it.
void Process(char16_t ch) {
  Console& c = The();
  switch (ch) {
    case u'\n':  // the console returns to column 0 with the line feed
      NewLine();
      break;
    case u'\r':
      c.x = 0;
      break;
    case u'\t': {  // blanks up to the next stop; a stop at the row's end wraps
      int stop = (c.x / kTabWidth + 1) * kTabWidth;
      while (c.x < stop) {
        bool last_in_row = c.x == c.width - 1;
        Put(u' ');
        if (last_in_row) break;
      }
      break;
    }
    case u'\b':
      if (c.x > 0) --c.x;
      break;
    case u'\a':  // the bell sounds and leaves no mark
      break;
    default:
      Put(ch);
  }
  FollowCursor();
}

// The code page's character for a byte, or 0 for a byte it does not define.
char16_t FromCodePage(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHighHalf[byte - 0x80];
  return byte;
}

bool InBuffer(os::COORD at) {
  return at.X >= 0 && at.Y >= 0 && at.X < The().width && at.Y < The().height;
}

// Cells from `first` on, row after row, up to the end of the buffer.
template <typename Paint>
os::DWORD Fill(os::COORD first, os::DWORD length, Paint paint) {
  Console& c = The();
  std::size_t start = static_cast<std::size_t>(first.Y) * static_cast<std::size_t>(c.width) +
                      static_cast<std::size_t>(first.X);
  std::size_t count = std::min<std::size_t>(length, c.cells.size() - start);
  for (std::size_t i = 0; i < count; ++i) paint(c.cells[start + i]);
  return static_cast<os::DWORD>(count);
}

}  // namespace

void Reset(int width, int height, bool redirected) {
  Console& c = The();
  c = Console{};
  c.width = std::max(1, std::min(width, 0x7FFF));
  c.height = std::max(1, std::min(height, 0x7FFF));
  c.redirected = redirected;
  c.cells.assign(static_cast<std::size_t>(c.width) * static_cast<std::size_t>(c.height), Cell{});
}

Cell At(int x, int y) {
  if (x < 0 || y < 0 || x >= The().width || y >= The().height) return Cell{u'\0', 0};
  return CellAt(x, y);
}

std::u16string Row(int y) {
  std::u16string row;
  if (y < 0 || y >= The().height) return row;
  for (int x = 0; x < The().width; ++x) row.push_back(CellAt(x, y).ch);
  row.erase(row.find_last_not_of(u' ') + 1);
  return row;
}

std::string RowText(int y) {
  std::string text;
  for (char16_t ch : Row(y)) text.push_back(ch > 0xFF ? '?' : static_cast<char>(ch));
  return text;
}

os::COORD Cursor() {
  return os::COORD{static_cast<os::SHORT>(The().x), static_cast<os::SHORT>(The().y)};
}
bool CursorVisible() {
  return The().visible;
}
os::DWORD CursorSize() {
  return The().cursor_size;
}
os::WORD Attribute() {
  return The().attribute;
}
const std::string& Stdout() {
  return The().stdout_bytes;
}

os::SMALL_RECT Window() {
  Console& c = The();
  return os::SMALL_RECT{0, static_cast<os::SHORT>(c.window_top),
                        static_cast<os::SHORT>(c.width - 1),
                        static_cast<os::SHORT>(c.window_top + WindowRows() - 1)};
}

const std::vector<Call>& Calls() {
  return The().calls;
}

std::string CallNames() {
  std::string names;
  for (const Call& call : The().calls) {
    if (!names.empty()) names += ' ';
    names += call.name;
    if (!call.ok) names += '!';
  }
  return names;
}

}  // namespace screen

namespace os {

using screen::Record;

HANDLE GetStdHandle(DWORD which) {
  Record("GetStdHandle", which == STD_OUTPUT_HANDLE);
  return which == STD_OUTPUT_HANDLE ? screen::kStdout : INVALID_HANDLE_VALUE;
}

BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info) {
  if (!Record("GetConsoleScreenBufferInfo", screen::IsConsole(console) && info != nullptr))
    return 0;
  const screen::Console& c = screen::The();
  info->dwSize = COORD{static_cast<SHORT>(c.width), static_cast<SHORT>(c.height)};
  info->dwCursorPosition = screen::Cursor();
  info->wAttributes = c.attribute;
  info->srWindow = screen::Window();
  info->dwMaximumWindowSize =
      COORD{static_cast<SHORT>(c.width), static_cast<SHORT>(screen::WindowRows())};
  return 1;
}

BOOL FillConsoleOutputCharacterW(HANDLE console, WCHAR character, DWORD length, COORD first,
                                 DWORD* written) {
  bool ok = Record("FillConsoleOutputCharacterW",
                   screen::IsConsole(console) && screen::InBuffer(first) && written != nullptr);
  if (!ok) return 0;
  *written = screen::Fill(first, length, [&](screen::Cell& cell) { cell.ch = character; });
  return 1;
}

BOOL FillConsoleOutputAttribute(HANDLE console, WORD attribute, DWORD length, COORD first,
                                DWORD* written) {
  bool ok = Record("FillConsoleOutputAttribute",
                   screen::IsConsole(console) && screen::InBuffer(first) && written != nullptr);
  if (!ok) return 0;
  *written = screen::Fill(first, length, [&](screen::Cell& cell) { cell.attribute = attribute; });
  return 1;
}

BOOL SetConsoleCursorPosition(HANDLE console, COORD position) {
  // A position outside the buffer is refused and the cursor stays.
  if (!Record("SetConsoleCursorPosition", screen::IsConsole(console) && screen::InBuffer(position)))
    return 0;
  screen::The().x = position.X;
  screen::The().y = position.Y;
  screen::FollowCursor();
  return 1;
}

BOOL SetConsoleTextAttribute(HANDLE console, WORD attribute) {
  if (!Record("SetConsoleTextAttribute", screen::IsConsole(console))) return 0;
  screen::The().attribute = attribute;
  return 1;
}

BOOL WriteConsoleW(HANDLE console, const WCHAR* text, DWORD length, DWORD* written,
                   void* /*reserved*/) {
  bool ok = Record("WriteConsoleW", screen::IsConsole(console) && (text != nullptr || length == 0));
  if (written != nullptr) *written = ok ? length : 0;
  if (!ok) return 0;
  for (DWORD i = 0; i < length; ++i) screen::Process(text[i]);
  return 1;
}

BOOL GetConsoleCursorInfo(HANDLE console, CONSOLE_CURSOR_INFO* info) {
  if (!Record("GetConsoleCursorInfo", screen::IsConsole(console) && info != nullptr)) return 0;
  info->dwSize = screen::The().cursor_size;
  info->bVisible = screen::The().visible ? 1 : 0;
  return 1;
}

BOOL SetConsoleCursorInfo(HANDLE console, const CONSOLE_CURSOR_INFO* info) {
  // The size is a percentage of the cell: 1 to 100, anything else is refused.
  bool ok = Record("SetConsoleCursorInfo", screen::IsConsole(console) && info != nullptr &&
                                               info->dwSize >= 1 && info->dwSize <= 100);
  if (!ok) return 0;
  screen::The().cursor_size = info->dwSize;
  screen::The().visible = info->bVisible != 0;
  return 1;
}

int MultiByteToWideChar(UINT code_page, DWORD flags, const char* text, int length, WCHAR* wide,
                        int wide_length) {
  // Length -1 means a terminated text, the terminator converted too; 0 and
  // other negative lengths are refused, as is a code page other than the ANSI
  // one (1252 named or as CP_ACP).
  bool ok = (code_page == CP_ACP || code_page == 1252) && text != nullptr && length != 0 &&
            length >= -1 && wide_length >= 0 && (wide != nullptr || wide_length == 0);
  if (!ok) return Record("MultiByteToWideChar", false);
  std::size_t count =
      length == -1 ? std::char_traits<char>::length(text) + 1 : static_cast<std::size_t>(length);
  for (std::size_t i = 0; i < count; ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    if ((flags & MB_ERR_INVALID_CHARS) != 0 && screen::FromCodePage(byte) == 0 && byte != 0)
      return Record("MultiByteToWideChar", false);
  }
  if (wide_length == 0) {
    Record("MultiByteToWideChar", true);
    return static_cast<int>(count);
  }
  if (count > static_cast<std::size_t>(wide_length)) return Record("MultiByteToWideChar", false);
  for (std::size_t i = 0; i < count; ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    char16_t ch = screen::FromCodePage(byte);
    // Without the flag an undefined byte passes through as the control
    // character of the same value, as Windows maps it.
    wide[i] = ch == 0 ? static_cast<char16_t>(byte) : ch;
  }
  Record("MultiByteToWideChar", true);
  return static_cast<int>(count);
}

void WriteStdout(const char* bytes, std::size_t length) {
  screen::Record("WriteStdout", true);
  screen::The().stdout_bytes.append(bytes, length);
  if (screen::The().redirected) return;
  // Text on standard output lands at the cursor in the current attribute,
  // read in the console's code page.
  for (std::size_t i = 0; i < length; ++i) {
    auto byte = static_cast<unsigned char>(bytes[i]);
    char16_t ch = screen::FromCodePage(byte);
    screen::Process(ch == 0 ? static_cast<char16_t>(byte) : ch);
  }
}

}  // namespace os
