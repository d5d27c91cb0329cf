#include "console/console.h"

#include <cstdlib>

#include "platform/api.h"

namespace console {
namespace {

os::WORD ColorAttribute(int fore, int back) {
  return static_cast<os::WORD>(((back & 0xF) << 4) + (fore & 0xF));
}

os::COORD LowWords(int x, int y) {
  return os::COORD{static_cast<os::SHORT>(x & 0xFFFF), static_cast<os::SHORT>(y & 0xFFFF)};
}

// Blanks every cell of the buffer in the attribute the console reports, rows
// outside the visible window included, and puts the cursor at coord. Without
// the buffer's information nothing is touched.
void ClearBuffer(os::HANDLE handle, os::COORD coord) {
  os::CONSOLE_SCREEN_BUFFER_INFO csbi;
  if (!os::GetConsoleScreenBufferInfo(handle, &csbi)) return;
  os::DWORD cells = static_cast<os::DWORD>(csbi.dwSize.X) * static_cast<os::DWORD>(csbi.dwSize.Y);
  os::DWORD count = 0;
  os::FillConsoleOutputCharacterW(handle, u' ', cells, coord, &count);
  os::FillConsoleOutputAttribute(handle, csbi.wAttributes, cells, coord, &count);
  os::SetConsoleCursorPosition(handle, coord);
}

// A buffer of len UTF-16 units on the heap, or none. A negative count would
// make the conversion read up to a terminator the text need not have, so it
// gets no buffer and writes nothing.
os::WCHAR* NewWideBuffer(int len) {
  if (len < 0) return nullptr;
  return static_cast<os::WCHAR*>(std::malloc(static_cast<std::size_t>(len) * sizeof(os::WCHAR)));
}

// Exactly len bytes, no terminator read or added; a byte the code page lacks
// fails the whole text. Returns the units produced (0 for none).
int ConvertText(const char* text, int len, os::WCHAR* buffer) {
  if (buffer == nullptr) return 0;
  int produced =
      os::MultiByteToWideChar(os::CP_ACP, os::MB_ERR_INVALID_CHARS, text, len, buffer, len);
  return produced > 0 ? produced : 0;
}

void WriteConverted(os::HANDLE handle, const os::WCHAR* buffer, int produced) {
  if (buffer == nullptr) return;
  os::DWORD count = 0;
  os::WriteConsoleW(handle, buffer, static_cast<os::DWORD>(produced), &count, nullptr);
}

void SetCursorVisibility(bool visible) {
  os::HANDLE handle = os::GetStdHandle(os::STD_OUTPUT_HANDLE);
  os::CONSOLE_CURSOR_INFO cciCursor;
  if (!os::GetConsoleCursorInfo(handle, &cciCursor)) return;
  cciCursor.bVisible = visible ? 1 : 0;  // dwSize stays as read
  os::SetConsoleCursorInfo(handle, &cciCursor);
}

}  // namespace

void ClearScreen() {
  os::HANDLE handle = os::GetStdHandle(os::STD_OUTPUT_HANDLE);
  os::COORD coord{0, 0};
  ClearBuffer(handle, coord);
}

void ClearScreenWithColors(int fore, int back) {
  os::WORD attribute = ColorAttribute(fore, back);
  os::HANDLE handle = os::GetStdHandle(os::STD_OUTPUT_HANDLE);
  os::COORD coord{0, 0};
  // Set before the buffer is read, so the clear paints in the new colours.
  os::SetConsoleTextAttribute(handle, attribute);
  ClearBuffer(handle, coord);
}

void GotoXY(int x, int y) {
  os::HANDLE handle = os::GetStdHandle(os::STD_OUTPUT_HANDLE);
  os::SetConsoleCursorPosition(handle, LowWords(x, y));
}

void WriteTextAt(int x, int y, const char* text, int len) {
  os::COORD coord = LowWords(x, y);
  os::HANDLE handle = os::GetStdHandle(os::STD_OUTPUT_HANDLE);
  os::WCHAR* buffer = NewWideBuffer(len);
  int produced = ConvertText(text, len, buffer);
  // The cursor moves even when there is nothing to write.
  os::SetConsoleCursorPosition(handle, coord);
  WriteConverted(handle, buffer, produced);
  std::free(buffer);
}

void WriteText(const char* text, int len) {
  os::HANDLE handle = os::GetStdHandle(os::STD_OUTPUT_HANDLE);
  os::WCHAR* buffer = NewWideBuffer(len);
  int produced = ConvertText(text, len, buffer);
  WriteConverted(handle, buffer, produced);
  std::free(buffer);
}

void SetForeColor(int fore) {
  os::HANDLE handle = os::GetStdHandle(os::STD_OUTPUT_HANDLE);
  os::CONSOLE_SCREEN_BUFFER_INFO csbi;
  if (!os::GetConsoleScreenBufferInfo(handle, &csbi)) return;
  // The background stays; the foreground and every bit above the colours go.
  os::WORD attribute = static_cast<os::WORD>((csbi.wAttributes & 0xF0) + (fore & 0xF));
  os::SetConsoleTextAttribute(handle, attribute);
}

void SetColors(int fore, int back) {
  os::HANDLE handle = os::GetStdHandle(os::STD_OUTPUT_HANDLE);
  os::SetConsoleTextAttribute(handle, ColorAttribute(fore, back));
}

void HideTextCursor() {
  SetCursorVisibility(false);
}

void ShowTextCursor() {
  SetCursorVisibility(true);
}

}  // namespace console
