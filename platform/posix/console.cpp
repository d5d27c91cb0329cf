// The console on a Linux terminal: the console calls kept in a shadow of the
// screen (TerminalScreen) and drawn with VT sequences. When standard output is
// not a terminal it behaves as a Windows console redirected to a file: the
// console calls fail and standard output is the bytes alone.

#include "platform/posix/console.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/api.h"

namespace {

char stdout_token;

struct Terminal {
  bool checked = false;
  std::unique_ptr<posix::TerminalScreen> screen;  // null when stdout is no terminal
};

Terminal& The() {
  static Terminal terminal;
  return terminal;
}

// Standard input's modes before the program changed them, put back at the end
// (also from the signal handler, hence the plain flag).
termios original_input_modes;
volatile sig_atomic_t input_modes_kept = 0;

void WriteAll(const char* bytes, std::size_t length) {
  while (length > 0) {
    ssize_t written = ::write(STDOUT_FILENO, bytes, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // nowhere to write: the bytes are lost, as a closed pipe loses them
    bytes += written;
    length -= static_cast<std::size_t>(written);
  }
}

void TerminalSize(int* width, int* height) {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
    // Console coordinates are 16-bit signed values.
    *width = std::min<int>(size.ws_col, 0x7FFF);
    *height = std::min<int>(size.ws_row, 0x7FFF);
  } else {
    *width = 80;
    *height = 24;
  }
}

// A program that ends with its screen coloured, its cursor hidden or its
// keyboard quiet would leave the user's shell that way: put the terminal's
// defaults back.
void RestoreTerminal() {
  if (input_modes_kept != 0) ::tcsetattr(STDIN_FILENO, TCSANOW, &original_input_modes);
  std::string_view restore = posix::TerminalScreen::RestoreSequence();
  WriteAll(restore.data(), restore.size());
}

void RestoreOnSignal(int signal_number) {
  // Only async-signal-safe calls here.
  if (input_modes_kept != 0) ::tcsetattr(STDIN_FILENO, TCSANOW, &original_input_modes);
  std::string_view restore = posix::TerminalScreen::RestoreSequence();
  ssize_t ignored = ::write(STDOUT_FILENO, restore.data(), restore.size());
  (void)ignored;
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

// Once the program draws at fixed cells the screen is its own. A console
// shows no keys the program is not reading; a terminal would echo them into
// the drawing (and an echoed Enter would move its cursor), so echo goes off
// until the program ends.
void QuietKeyboard() {
  static bool done = false;
  if (done) return;
  done = true;
  posix::KeepInputModes();
  if (input_modes_kept == 0) return;
  termios quiet = original_input_modes;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
}

void InstallRestore() {
  std::atexit(RestoreTerminal);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    struct sigaction current {};
    // A handler the program set up itself stays in charge.
    if (::sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
      continue;
    struct sigaction restore {};
    restore.sa_handler = RestoreOnSignal;
    sigemptyset(&restore.sa_mask);
    ::sigaction(signal_number, &restore, nullptr);
  }
}

// The screen when standard output is a terminal, brought to the terminal's
// present size; null otherwise.
posix::TerminalScreen* Screen() {
  Terminal& t = The();
  if (!t.checked) {
    t.checked = true;
    if (::isatty(STDOUT_FILENO) == 1) {
      int width = 0;
      int height = 0;
      TerminalSize(&width, &height);
      t.screen = std::make_unique<posix::TerminalScreen>(width, height);
      InstallRestore();
    }
  }
  if (!t.screen) return nullptr;
  int width = 0;
  int height = 0;
  TerminalSize(&width, &height);
  t.screen->Resize(width, height);
  return t.screen.get();
}

posix::TerminalScreen* ConsoleOf(os::HANDLE handle) {
  return handle == &stdout_token ? Screen() : nullptr;
}

// Each call shows its effect at once.
void Flush(posix::TerminalScreen* screen) {
  std::fflush(stdout);  // anything the C runtime still holds goes first
  std::string out = screen->TakeOutput();
  WriteAll(out.data(), out.size());
}

}  // namespace

namespace posix {

bool ConsoleScreenSize(int* width, int* height) {
  TerminalScreen* screen = Screen();
  if (screen == nullptr) return false;
  *width = screen->width();
  *height = screen->height();
  return true;
}

void OverlayBegin() {
  if (TerminalScreen* screen = Screen()) {
    screen->BeginOverlay();
    Flush(screen);
  }
}

void OverlayDraw(int x, int y, const std::vector<ScreenCell>& cells) {
  if (TerminalScreen* screen = The().screen.get()) {
    screen->DrawOverlay(x, y, cells);
    Flush(screen);
  }
}

void OverlayEnd(int x, int y, int width, int height) {
  if (TerminalScreen* screen = The().screen.get()) {
    screen->EndOverlay(x, y, width, height);
    Flush(screen);
  }
}

void KeepInputModes() {
  if (input_modes_kept != 0 || ::isatty(STDIN_FILENO) != 1) return;
  if (::tcgetattr(STDIN_FILENO, &original_input_modes) == 0) input_modes_kept = 1;
}

}  // namespace posix

namespace os {

HANDLE GetStdHandle(DWORD which) {
  return which == STD_OUTPUT_HANDLE ? &stdout_token : INVALID_HANDLE_VALUE;
}

BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info) {
  posix::TerminalScreen* screen = ConsoleOf(console);
  if (screen == nullptr || info == nullptr) return 0;
  auto width = static_cast<SHORT>(screen->width());
  auto height = static_cast<SHORT>(screen->height());
  info->dwSize = COORD{width, height};
  info->dwCursorPosition = screen->Cursor();
  info->wAttributes = screen->Attribute();
  info->srWindow = SMALL_RECT{0, 0, static_cast<SHORT>(width - 1), static_cast<SHORT>(height - 1)};
  info->dwMaximumWindowSize = COORD{width, height};
  return 1;
}

BOOL FillConsoleOutputCharacterW(HANDLE console, WCHAR character, DWORD length, COORD first,
                                 DWORD* written) {
  posix::TerminalScreen* screen = ConsoleOf(console);
  if (screen == nullptr || written == nullptr) return 0;
  QuietKeyboard();
  long filled = screen->FillCharacter(character, length, first);
  Flush(screen);
  if (filled < 0) return 0;
  *written = static_cast<DWORD>(filled);
  return 1;
}

BOOL FillConsoleOutputAttribute(HANDLE console, WORD attribute, DWORD length, COORD first,
                                DWORD* written) {
  posix::TerminalScreen* screen = ConsoleOf(console);
  if (screen == nullptr || written == nullptr) return 0;
  QuietKeyboard();
  long filled = screen->FillAttribute(attribute, length, first);
  Flush(screen);
  if (filled < 0) return 0;
  *written = static_cast<DWORD>(filled);
  return 1;
}

BOOL SetConsoleCursorPosition(HANDLE console, COORD position) {
  posix::TerminalScreen* screen = ConsoleOf(console);
  if (screen == nullptr) return 0;
  QuietKeyboard();
  bool placed = screen->SetCursor(position);
  Flush(screen);
  return placed ? 1 : 0;
}

BOOL SetConsoleTextAttribute(HANDLE console, WORD attribute) {
  posix::TerminalScreen* screen = ConsoleOf(console);
  if (screen == nullptr) return 0;
  screen->SetAttribute(attribute);
  return 1;
}

BOOL WriteConsoleW(HANDLE console, const WCHAR* text, DWORD length, DWORD* written,
                   void* /*reserved*/) {
  posix::TerminalScreen* screen = ConsoleOf(console);
  if (written != nullptr) *written = 0;
  if (screen == nullptr || (text == nullptr && length != 0)) return 0;
  if (length > 0) screen->Write(std::u16string_view(text, length));
  Flush(screen);
  if (written != nullptr) *written = length;
  return 1;
}

BOOL GetConsoleCursorInfo(HANDLE console, CONSOLE_CURSOR_INFO* info) {
  posix::TerminalScreen* screen = ConsoleOf(console);
  if (screen == nullptr || info == nullptr) return 0;
  info->dwSize = screen->CursorSize();
  info->bVisible = screen->CursorVisible() ? 1 : 0;
  return 1;
}

BOOL SetConsoleCursorInfo(HANDLE console, const CONSOLE_CURSOR_INFO* info) {
  posix::TerminalScreen* screen = ConsoleOf(console);
  if (screen == nullptr || info == nullptr) return 0;
  bool set = screen->SetCursorInfo(info->dwSize, info->bVisible != 0);
  Flush(screen);
  return set ? 1 : 0;
}

int MultiByteToWideChar(UINT code_page, DWORD flags, const char* text, int length, WCHAR* wide,
                        int wide_length) {
  // The ANSI code page of these programs is Windows-1252, as on the station.
  if (code_page != CP_ACP && code_page != 1252) return 0;
  return posix::ConvertAnsiText(flags, text, length, wide, wide_length);
}

void WriteStdout(const char* bytes, std::size_t length) {
  if (posix::TerminalScreen* screen = Screen()) {
    screen->WriteBytes(std::string_view(bytes, length));
    Flush(screen);
    return;
  }
  std::fflush(stdout);
  WriteAll(bytes, length);
}

}  // namespace os
