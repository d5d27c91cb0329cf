// The real clock on Windows.
#include "platform/api.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace os {

void Sleep(DWORD milliseconds) {
  ::Sleep(milliseconds);
}

std::uint64_t GetTickCount64() {
  return ::GetTickCount64();
}

}  // namespace os
