// The operator on Windows: a modal message box and the speaker.
#include "platform/api.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace os {

int MessageBoxW(HWND owner, const WCHAR* text, const WCHAR* caption, UINT type) {
  return ::MessageBoxW(static_cast<::HWND>(owner), reinterpret_cast<const wchar_t*>(text),
                       reinterpret_cast<const wchar_t*>(caption), type);
}

BOOL Beep(DWORD frequency, DWORD duration_ms) {
  return ::Beep(frequency, duration_ms);
}

}  // namespace os
