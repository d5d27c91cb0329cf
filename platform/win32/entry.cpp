// The Windows entry point (linked with -municode): the command line arrives as
// UTF-16 already, so it goes to the program unchanged.
#include "platform/entry.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is UTF-16 on Windows");

int wmain(int argc, wchar_t** argv) {
  return ProgramMain(argc, reinterpret_cast<char16_t**>(argv));
}
