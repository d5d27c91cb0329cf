#include <cstdarg>
#include <cstdio>
#include <vector>

#include "platform/api.h"

namespace os {

int Printf(const char* format, ...) {
  char small[512];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length < 0) {
    va_end(again);
    return length;
  }
  if (static_cast<std::size_t>(length) < sizeof small) {
    va_end(again);
    WriteStdout(small, static_cast<std::size_t>(length));
    return length;
  }
  std::vector<char> large(static_cast<std::size_t>(length) + 1);
  std::vsnprintf(large.data(), large.size(), format, again);
  va_end(again);
  WriteStdout(large.data(), static_cast<std::size_t>(length));
  return length;
}

}  // namespace os
