// A folder of the fuzz program's own under the system's temporary folder,
// made once and removed when the program ends.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fuzzcheck {

inline const std::string& TempFolder() {
  // Never destroyed: the removal at exit still needs the name.
  static const std::string& folder = *new std::string([] {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "sensorhub-fuzz-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(TempFolder(), ignored);
    });
    return std::string(buffer.data());
  }());
  return folder;
}

}  // namespace fuzzcheck
