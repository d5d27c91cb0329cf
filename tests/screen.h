// The console of the test programs: a model of a Windows console screen buffer
// that the os console calls and standard output draw into, so a test can read
// back every cell, the cursor and the exact bytes of standard output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/api.h"

namespace screen {

struct Cell {
  char16_t ch = u' ';
  os::WORD attribute = 0x07;
};

// A fresh console: width x height cells of blanks in attribute 0x07, the
// cursor at (0, 0), visible, size 25; no standard output yet. `redirected`
// makes standard output a file, as when it is redirected on Windows: the
// information calls then fail and console writes show nothing.
void Reset(int width = 80, int height = 300, bool redirected = false);

Cell At(int x, int y);
// Row y as text, trailing blanks removed.
std::u16string Row(int y);
// Row y as narrow text (code units above 0xFF shown as '?'), trailing blanks
// removed: handy in assertions.
std::string RowText(int y);
os::COORD Cursor();
bool CursorVisible();
os::DWORD CursorSize();
os::WORD Attribute();

// Every byte written to standard output since the last Reset, in order.
const std::string& Stdout();

// The visible window: the top rows of the buffer at first, moved down as the
// cursor goes below it, as a Windows console follows its cursor.
os::SMALL_RECT Window();

// One call into this backend, by its os name ("GetStdHandle",
// "SetConsoleTextAttribute", "WriteStdout", ...), and whether it succeeded.
struct Call {
  std::string name;
  bool ok = false;
};
// Every call since the last Reset, in order: shows what a function attempted
// when the console refused it, and that the handle is fetched at every call.
const std::vector<Call>& Calls();
// The names of the calls since the last Reset, failed ones marked with '!'
// ("SetConsoleTextAttribute!"), joined by single spaces.
std::string CallNames();

}  // namespace screen
