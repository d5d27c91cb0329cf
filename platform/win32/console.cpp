// The console on Windows: the console calls forwarded as the tool makes them,
// and standard output through the C runtime's stream.
#include "platform/api.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

::COORD Real(os::COORD at) {
  return ::COORD{at.X, at.Y};
}
::DWORD* Real(os::DWORD* value) {
  return reinterpret_cast<::DWORD*>(value);
}
const wchar_t* Real(const os::WCHAR* text) {
  return reinterpret_cast<const wchar_t*>(text);
}

}  // namespace

namespace os {

HANDLE GetStdHandle(DWORD which) {
  return ::GetStdHandle(which);
}

BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info) {
  return ::GetConsoleScreenBufferInfo(console,
                                      reinterpret_cast<::PCONSOLE_SCREEN_BUFFER_INFO>(info));
}

BOOL FillConsoleOutputCharacterW(HANDLE console, WCHAR character, DWORD length, COORD first,
                                 DWORD* written) {
  return ::FillConsoleOutputCharacterW(console, static_cast<wchar_t>(character), length,
                                       Real(first), Real(written));
}

BOOL FillConsoleOutputAttribute(HANDLE console, WORD attribute, DWORD length, COORD first,
                                DWORD* written) {
  return ::FillConsoleOutputAttribute(console, attribute, length, Real(first), Real(written));
}

BOOL SetConsoleCursorPosition(HANDLE console, COORD position) {
  return ::SetConsoleCursorPosition(console, Real(position));
}

BOOL SetConsoleTextAttribute(HANDLE console, WORD attribute) {
  return ::SetConsoleTextAttribute(console, attribute);
}

BOOL WriteConsoleW(HANDLE console, const WCHAR* text, DWORD length, DWORD* written,
                   void* reserved) {
  return ::WriteConsoleW(console, Real(text), length, Real(written), reserved);
}

BOOL GetConsoleCursorInfo(HANDLE console, CONSOLE_CURSOR_INFO* info) {
  return ::GetConsoleCursorInfo(console, reinterpret_cast<::PCONSOLE_CURSOR_INFO>(info));
}

BOOL SetConsoleCursorInfo(HANDLE console, const CONSOLE_CURSOR_INFO* info) {
  return ::SetConsoleCursorInfo(console, reinterpret_cast<const ::CONSOLE_CURSOR_INFO*>(info));
}

int MultiByteToWideChar(UINT code_page, DWORD flags, const char* text, int length, WCHAR* wide,
                        int wide_length) {
  return ::MultiByteToWideChar(code_page, flags, text, length, reinterpret_cast<wchar_t*>(wide),
                               wide_length);
}

void WriteStdout(const char* bytes, std::size_t length) {
  // The runtime opens stdout in text mode, which would turn each "\n" of the
  // tool's "\n\r" line ends into "\r\n". The bytes leave as the tool wrote
  // them, on a console as in a redirected file: binary mode, set at every
  // write so it holds whatever stdout was pointed at meanwhile.
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
  // Flushed at once: the console calls that follow write straight to the
  // console and must not overtake bytes still held in the stream's buffer.
  std::fwrite(bytes, 1, length, stdout);
  std::fflush(stdout);
}

}  // namespace os
