#include "image/image_file.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/api.h"

namespace image {

namespace {

// The reflected form of the polynomial 0x04C11DB7.
constexpr std::uint32_t CRC32_POLY_REFLECTED = 0xEDB88320u;

// Entry k: k shifted right through eight steps, the polynomial XORed in
// whenever a 1 falls out.
constexpr std::array<std::uint32_t, 256> MakeCrc32Table() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t k = 0; k < 256; ++k) {
    std::uint32_t value = k;
    for (int step = 0; step < 8; ++step)
      value = (value & 1u) ? (value >> 1) ^ CRC32_POLY_REFLECTED : value >> 1;
    table[k] = value;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> CRC32_TABLE = MakeCrc32Table();

static_assert(CRC32_TABLE[1] == 0x77073096u && CRC32_TABLE[128] == 0xEDB88320u &&
              CRC32_TABLE[255] == 0x2D02EF8Du);

// 0 to 15 for a hexadecimal digit in either letter case, -1 for anything else.
int HexDigit(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return unit - u'0';
  if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
  if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
  return -1;
}

}  // namespace

ImageName CheckImageName(const char16_t* path) {
  ImageName name{-1, NameFault::kNone, {}};
  std::u16string_view whole = path != nullptr ? path : u"";
  if (whole.size() < MIN_PATH_UNITS) {
    name.fault = NameFault::kTooShort;
    return name;
  }
  std::size_t bin = whole.find(u".bin");
  if (bin == std::u16string_view::npos) {
    name.fault = NameFault::kNoBin;
    return name;
  }
  if (bin < 8) {
    name.fault = NameFault::kFewUnitsBefore;
    return name;
  }

  whole.copy(name.ver, 8, bin - 8);
  name.ver[8] = u'\0';
  name.version = ParseHexVersion(name.ver);
  if (name.version == -1) {
    // A stray character and the digits FFFFFFFF both give -1; only the reason differs.
    name.fault = NameFault::kReservedVersion;
    for (int i = 0; i < 8; ++i)
      if (HexDigit(name.ver[i]) < 0) name.fault = NameFault::kNotHex;
  }
  return name;
}

std::int32_t ParseHexVersion(const char16_t* ver) {
  std::uint32_t value = 0;
  for (int i = 0; i < 8; ++i) {
    int digit = HexDigit(ver[i]);
    if (digit < 0) return -1;
    value |= static_cast<std::uint32_t>(digit) << (4 * (7 - i));
  }
  return static_cast<std::int32_t>(value);
}

std::uint32_t Crc32Update(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t value) {
  for (std::uint32_t i = 0; i < length; ++i)
    value = (value >> 8) ^ CRC32_TABLE[(value ^ bytes[i]) & 0xFFu];
  return value;
}

std::uint32_t StoredCheckValue(const std::uint8_t* databuf, std::uint32_t n) {
  return static_cast<std::uint32_t>(databuf[n - 4]) |
         static_cast<std::uint32_t>(databuf[n - 3]) << 8 |
         static_cast<std::uint32_t>(databuf[n - 2]) << 16 |
         static_cast<std::uint32_t>(databuf[n - 1]) << 24;
}

ImageVerdict ReadImageFile(const char16_t* path, std::uint8_t* databuf, std::uint32_t& n) {
  n = 0;
  // The version value; -1 refuses the name.
  std::int32_t version = CheckImageName(path).version;

  // Binary: the bytes exactly as they lie in the file.
  std::FILE* SrcFile = path != nullptr ? os::_wfopen(path, u"rb") : nullptr;

  // A bad name and a file that cannot be opened are refused alike.
  if (SrcFile == nullptr || version == -1) {
    if (SrcFile != nullptr) std::fclose(SrcFile);
    return ImageVerdict::kFileOpenFailed;
  }

  // One read from the start; a longer file is not read further. The fill
  // first, so an image shorter than a download stages erased flash rather
  // than whatever databuf held before.
  std::memset(databuf, 0xFF, DATABUF_SIZE);
  n = static_cast<std::uint32_t>(std::fread(databuf, 1, DATABUF_SIZE, SrcFile));
  std::fclose(SrcFile);

  // Not even room for a check value.
  if (n < 4) return ImageVerdict::kCrcCheckFailed;

  // The stored value against the image bytes' CRC, taken as it comes (no inversion).
  std::uint32_t stored = StoredCheckValue(databuf, n);
  std::uint32_t computed = Crc32Update(databuf, n - 4, CRC32_START);
  if (stored != computed) return ImageVerdict::kCrcCheckFailed;

  return ImageVerdict::kAccepted;
}

bool LoadImageFile(const char16_t* path, std::uint8_t* databuf) {
  std::uint32_t n = 0;
  switch (ReadImageFile(path, databuf, n)) {
    case ImageVerdict::kAccepted:
      return true;
    case ImageVerdict::kFileOpenFailed:
      os::Printf("\n\r========File Open Failed!!========\n\r");
      return false;
    case ImageVerdict::kCrcCheckFailed:
      os::Printf("\n\r========CRC check failed!!========\n\r");
      return false;
  }
  return false;
}

}  // namespace image
