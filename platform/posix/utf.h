// UTF-8 and UTF-16 for the Linux programs: the command line arrives as UTF-8
// bytes and the tool wants UTF-16, file names go the other way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace posix {

// Invalid UTF-8 bytes become U+FFFD, as Windows shows an undecodable name.
std::u16string Utf8ToUtf16(std::string_view text);

// Lone surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// The command line as the tool's entry takes it: UTF-16 strings, program name
// first, and a null pointer after the last.
class WideArguments {
 public:
  WideArguments(int argc, char** argv);
  int count() const { return static_cast<int>(strings_.size()); }
  char16_t** values() { return pointers_.data(); }

 private:
  std::vector<std::u16string> strings_;
  std::vector<char16_t*> pointers_;
};

}  // namespace posix
