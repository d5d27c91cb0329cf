// Helpers of the Windows backend tests: scratch files in the user's temporary
// folder, named per process so parallel runs do not meet.
#pragma once

#include <string>

#include "platform/api.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace win32_test {

// A path in the temporary folder ending in `name` (which may hold any UTF-16).
inline std::u16string TempPath(std::u16string_view name) {
  wchar_t folder[MAX_PATH + 1] = {};
  ::DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
  std::u16string path(reinterpret_cast<const char16_t*>(folder), length);
  std::string id = std::to_string(::GetCurrentProcessId()) + "_";
  path.append(id.begin(), id.end());
  path.append(name);
  return path;
}

inline const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

}  // namespace win32_test
