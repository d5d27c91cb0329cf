#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "platform/api.h"
#include "platform/posix/utf.h"

namespace os {

std::FILE* _wfopen(const WCHAR* path, const WCHAR* mode) {
  if (path == nullptr || mode == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  std::string narrow_path = posix::Utf16ToUtf8(path);
  std::string narrow_mode = posix::Utf16ToUtf8(mode);
  std::FILE* file = std::fopen(narrow_path.c_str(), narrow_mode.c_str());
  if (file == nullptr) return nullptr;
  // Windows will not open a folder as a file; here fopen would, and every read
  // would then fail. Refuse it at the open, as Windows does.
  struct stat info {};
  if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(file);
    errno = EISDIR;
    return nullptr;
  }
  return file;
}

}  // namespace os
