// The image file on Windows: the C runtime's wide open, so a path in any
// script the file system allows reaches the file unchanged.
#include "platform/api.h"

#include <stdio.h>
#include <wchar.h>

namespace os {

std::FILE* _wfopen(const WCHAR* path, const WCHAR* mode) {
  return ::_wfopen(reinterpret_cast<const wchar_t*>(path), reinterpret_cast<const wchar_t*>(mode));
}

}  // namespace os
