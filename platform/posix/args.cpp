#include <cstdint>

#include "platform/posix/utf.h"

namespace posix {

std::u16string Utf8ToUtf16(std::string_view text) {
  static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  std::u16string wide;
  wide.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    auto lead = static_cast<unsigned char>(text[i]);
    std::size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    char32_t code = lead < 0x80 ? lead : 0xFFFD;
    std::size_t length = 1;
    if (lead >= 0xC0 && lead < 0xF5 && i + extra < text.size()) {
      char32_t value = lead & (0x3F >> extra);
      bool valid = true;
      for (std::size_t k = 1; valid && k <= extra; ++k) {
        auto next = static_cast<unsigned char>(text[i + k]);
        valid = (next & 0xC0) == 0x80;
        value = (value << 6) | (next & 0x3F);
      }
      if (valid && value >= kMinimum[extra] && value <= 0x10FFFF &&
          (value < 0xD800 || value > 0xDFFF)) {
        code = value;
        length = extra + 1;
      }
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      wide.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      wide.push_back(static_cast<char16_t>(code));
    }
    i += length;
  }
  return wide;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      narrow.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      narrow.push_back(static_cast<char>(0xC0 | (code >> 6)));
      narrow.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      narrow.push_back(static_cast<char>(0xE0 | (code >> 12)));
      narrow.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      narrow.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      narrow.push_back(static_cast<char>(0xF0 | (code >> 18)));
      narrow.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      narrow.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      narrow.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return narrow;
}

WideArguments::WideArguments(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) strings_.push_back(Utf8ToUtf16(argv[i]));
  for (auto& s : strings_) pointers_.push_back(s.data());
  pointers_.push_back(nullptr);
}

}  // namespace posix
