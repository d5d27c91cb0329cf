// The image loader on random files and names. Each input becomes one file in
// a folder of this process's own, under a name taken from the input, and the
// loader's verdict is checked against the rules worked out here afresh: the
// name rule, the fill and the read, and the CRC-32/JAMCRC relation that must
// hold for every file accepted.
//
// Input: a flags byte, a name length, the name, then the file's bytes.
//   flags bit 0  make the file's check value right, so acceptance is reached
//         bit 1  give the loader the bare name, a path relative to the working
//                folder (short paths; no file is written there)
//         bit 2  write no file under the name
//         bit 3  ask with a null path
//         bits 4-7  extend the file by that many 4 KiB of its own bytes, past
//                   what databuf holds
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "fuzz/temp_folder.h"
#include "image/image_file.h"
#include "tests/screen.h"

namespace {

using fuzzcheck::Check;

std::string folder;  // this process's own, removed at exit
std::vector<std::uint8_t> databuf(image::DATABUF_SIZE);

// Name units: mostly from an alphabet that makes names the rule can accept,
// otherwise any UTF-16 unit (lone surrogates included).
const char kAlphabet[] = "0123456789abcdefABCDEFxX.bin.BIN_- ~";

std::uint32_t ReferenceJamcrc(const std::uint8_t* bytes, std::size_t length) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < length; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
}

// UTF-16 to UTF-8, lone surrogates as U+FFFD: how a Linux file system names
// what Windows would call by these units.
std::string Utf8(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool IsHex(char16_t unit) {
  return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'f') ||
         (unit >= u'A' && unit <= u'F');
}

// The name rule worked out again: 20 units or more, 8 hexadecimal units in
// front of the first ".bin", and not FFFFFFFF.
bool NameAccepted(const std::u16string& path, std::uint32_t* version) {
  if (path.size() < image::MIN_PATH_UNITS) return false;
  std::size_t bin = path.find(u".bin");
  if (bin == std::u16string::npos || bin < 8) return false;
  std::uint32_t value = 0;
  for (std::size_t i = bin - 8; i < bin; ++i) {
    if (!IsHex(path[i])) return false;
    char16_t u = path[i];
    std::uint32_t digit = u <= u'9' ? u - u'0' : (u | 0x20) - u'a' + 10;
    value = value << 4 | digit;
  }
  *version = value;
  return value != 0xFFFFFFFFu;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fclose(file) == 0 && ok;
  std::error_code error;
  return ok && std::filesystem::is_regular_file(path, error);
}

void CheckCrcContinues(const std::vector<std::uint8_t>& bytes) {
  auto n = static_cast<std::uint32_t>(bytes.size());
  std::uint32_t whole = image::Crc32Update(bytes.data(), n, image::CRC32_START);
  Check(whole == ReferenceJamcrc(bytes.data(), bytes.size()), "Crc32Update against a bitwise CRC");
  std::uint32_t half = n / 2;
  std::uint32_t split = image::Crc32Update(
      bytes.data() + half, n - half, image::Crc32Update(bytes.data(), half, image::CRC32_START));
  Check(split == whole, "Crc32Update does not continue over a second piece");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  folder = fuzzcheck::TempFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::uint8_t flags = data[0];
  std::size_t name_length = data[1] % 64;
  std::size_t at = 2;

  std::u16string name;
  while (name.size() < name_length && at < size) {
    std::uint8_t b = data[at++];
    char16_t unit;
    if (b < 0xC0 || at + 1 >= size) {
      unit = static_cast<char16_t>(kAlphabet[b % (sizeof kAlphabet - 1)]);
    } else {
      unit = static_cast<char16_t>(data[at] | data[at + 1] << 8);
      at += 2;
    }
    // A separator or a terminator would leave the folder or end the name.
    if (unit == u'/' || unit == u'\0') unit = u'_';
    name += unit;
  }

  std::vector<std::uint8_t> bytes(data + at, data + size);
  std::size_t extend = static_cast<std::size_t>(flags >> 4) * 4096;
  std::size_t own = bytes.size();
  for (std::size_t i = 0; i < extend; ++i) bytes.push_back(own == 0 ? 0xA5 : bytes[i % own]);
  std::size_t readable = std::min(bytes.size(), image::DATABUF_SIZE);
  if ((flags & 1) && readable >= 4) {
    std::uint32_t crc = ReferenceJamcrc(bytes.data(), readable - 4);
    for (int i = 0; i < 4; ++i) bytes[readable - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
  }

  bool relative = (flags & 2) != 0;
  std::u16string path =
      relative ? name : std::u16string(folder.begin(), folder.end()) + u"/" + name;
  std::string disk_path = folder + "/" + Utf8(name);
  bool null_path = (flags & 8) != 0;
  bool written =
      !relative && !null_path && !(flags & 4) && !name.empty() && WriteFile(disk_path, bytes);
  // A bare name that happens to name something in the working folder is no
  // case of this harness.
  std::error_code error;
  if (relative && !name.empty() && std::filesystem::exists(Utf8(name), error)) return 0;

  std::uint32_t version = 0;
  bool name_ok = !null_path && NameAccepted(path, &version);
  image::ImageName checked = image::CheckImageName(null_path ? nullptr : path.c_str());
  Check((checked.version != -1) == name_ok, "CheckImageName against the name rule");
  if (name_ok) Check(static_cast<std::uint32_t>(checked.version) == version, "the version value");
  Check((checked.fault == image::NameFault::kNone) == name_ok, "a refusal without its reason");

  // What the loader must decide.
  image::ImageVerdict expected = image::ImageVerdict::kFileOpenFailed;
  bool read = name_ok && written;
  if (read) {
    bool crc_ok = readable >= 4 && ReferenceJamcrc(bytes.data(), readable - 4) ==
                                       (static_cast<std::uint32_t>(bytes[readable - 4]) |
                                        static_cast<std::uint32_t>(bytes[readable - 3]) << 8 |
                                        static_cast<std::uint32_t>(bytes[readable - 2]) << 16 |
                                        static_cast<std::uint32_t>(bytes[readable - 1]) << 24);
    expected = crc_ok ? image::ImageVerdict::kAccepted : image::ImageVerdict::kCrcCheckFailed;
  }

  std::memset(databuf.data(), 0x5C, databuf.size());
  std::uint32_t n = 12345;
  image::ImageVerdict verdict =
      image::ReadImageFile(null_path ? nullptr : path.c_str(), databuf.data(), n);
  Check(verdict == expected, "ReadImageFile's verdict");
  if (read) {
    Check(n == readable, "the bytes read are the file's, up to databuf's size");
    Check(readable == 0 || std::memcmp(databuf.data(), bytes.data(), readable) == 0,
          "databuf holds the file");
    for (std::size_t i = readable; i < databuf.size(); ++i)
      Check(databuf[i] == 0xFF, "databuf beyond the file reads as erased flash");
  } else {
    Check(n == 0, "nothing read from a file that was refused at the open");
    for (std::uint8_t b : databuf) Check(b == 0x5C, "databuf touched for a refused file");
  }
  if (verdict == image::ImageVerdict::kAccepted) {
    Check(n >= 4, "an accepted file has room for its check value");
    Check(image::StoredCheckValue(databuf.data(), n) ==
              image::Crc32Update(databuf.data(), n - 4, image::CRC32_START),
          "an accepted file's check value is the CRC of the bytes before it");
  }

  screen::Reset();
  bool loaded = image::LoadImageFile(null_path ? nullptr : path.c_str(), databuf.data());
  Check(loaded == (expected == image::ImageVerdict::kAccepted), "LoadImageFile's answer");
  const char* told = expected == image::ImageVerdict::kAccepted ? ""
                     : expected == image::ImageVerdict::kCrcCheckFailed
                         ? "\n\r========CRC check failed!!========\n\r"
                         : "\n\r========File Open Failed!!========\n\r";
  Check(screen::Stdout() == told, "LoadImageFile's message");

  CheckCrcContinues(bytes);
  if (written) std::remove(disk_path.c_str());
  return 0;
}
