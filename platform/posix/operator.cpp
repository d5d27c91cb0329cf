// The operator on a Linux terminal: the message box drawn over the console's
// screen and answered from the keyboard, and the bell for a beep. Needs the
// terminal console (console.cpp) in the same program: the box is a layer over
// its screen.

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/api.h"
#include "platform/posix/console.h"
#include "platform/posix/terminal.h"

namespace {

constexpr unsigned char kEscape = 0x1B;
// Keys that send sequences (arrows, function keys) start with Esc; the rest of
// the sequence follows at once, a lone Esc does not.
constexpr int kSequenceGapMs = 30;

bool MoreInputWithin(int ms) {
  pollfd input{STDIN_FILENO, POLLIN, 0};
  int ready = 0;
  do ready = ::poll(&input, 1, ms);
  while (ready < 0 && errno == EINTR);
  return ready > 0;
}

// Reads one byte; false when the keyboard is gone.
bool ReadKey(unsigned char* key) {
  for (;;) {
    ssize_t got = ::read(STDIN_FILENO, key, 1);
    if (got == 1) return true;
    if (got < 0 && errno == EINTR) continue;
    return false;
  }
}

// Enter closes the box with OK, Esc or q with Cancel; other keys are ignored.
// 0 when input ends before an answer, as a box that could not be shown.
int ReadAnswer() {
  unsigned char key = 0;
  while (ReadKey(&key)) {
    if (key == '\r' || key == '\n') return os::IDOK;
    if (key == 'q' || key == 'Q') return os::IDCANCEL;
    if (key != kEscape) continue;
    if (!MoreInputWithin(kSequenceGapMs)) return os::IDCANCEL;
    while (MoreInputWithin(kSequenceGapMs) && ReadKey(&key)) {
    }
  }
  return 0;
}

}  // namespace

namespace os {

int MessageBoxW(HWND /*owner*/, const WCHAR* text, const WCHAR* caption, UINT /*type*/) {
  // Nobody to ask: the caller goes on as after a box that failed to show.
  if (::isatty(STDIN_FILENO) != 1 || ::isatty(STDOUT_FILENO) != 1) return 0;
  int width = 0;
  int height = 0;
  if (!posix::ConsoleScreenSize(&width, &height)) return 0;
  termios saved{};
  if (::tcgetattr(STDIN_FILENO, &saved) != 0) return 0;

  // Keys one at a time and unechoed; Ctrl+C still ends the program, and the
  // console then puts the keyboard's modes back.
  termios keys = saved;
  keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  keys.c_cc[VMIN] = 1;
  keys.c_cc[VTIME] = 0;
  posix::KeepInputModes();
  ::tcsetattr(STDIN_FILENO, TCSANOW, &keys);

  // A null caption shows as "Error", as Windows shows it.
  posix::BoxLayout box = posix::LayoutBox(caption != nullptr ? caption : u"Error",
                                          text != nullptr ? text : u"", width, height);
  posix::OverlayBegin();
  for (int row = 0; row < box.height; ++row)
    posix::OverlayDraw(box.x, box.y + row, box.rows[static_cast<std::size_t>(row)]);
  // Only keys pressed once the box is on the screen count: whatever was typed
  // before goes, so a stray Enter cannot confirm a fixture nobody has placed.
  ::tcflush(STDIN_FILENO, TCIFLUSH);
  int answer = ReadAnswer();
  posix::OverlayEnd(box.x, box.y, box.width, box.height);

  ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  return answer;
}

BOOL Beep(DWORD frequency, DWORD duration_ms) {
  // The frequencies Windows accepts; others fail at once, without a sound.
  if (frequency < 37 || frequency > 32767) return 0;
  // The bell only where a person hears it: never into a redirected file.
  int fd = ::isatty(STDOUT_FILENO) == 1   ? STDOUT_FILENO
           : ::isatty(STDERR_FILENO) == 1 ? STDERR_FILENO
                                          : -1;
  if (fd >= 0) {
    ssize_t ignored = ::write(fd, "\a", 1);
    (void)ignored;
  }
  // The call lasts as long as the tone would.
  Sleep(duration_ms);
  return 1;
}

}  // namespace os
