// The firmware image file of an update run: the version rule on its name, the
// load into databuf and the trailing CRC-32/JAMCRC check.
//
// A file is accepted when its path carries 8 hexadecimal digits (not FFFFFFFF)
// in front of the first ".bin" and is at least 20 UTF-16 code units long, and
// when its last four bytes (little-endian) are the CRC-32/JAMCRC of the bytes
// before them. At most DATABUF_SIZE bytes of the file are read.
#pragma once

#include <cstddef>
#include <cstdint>

namespace image {

// databuf: 48 KiB of image and its 4-byte check value. The entry point owns it.
constexpr std::size_t DATABUF_SIZE = 0xC004;

// A download sends at most this many image bytes (hub addresses 0x1000 to
// 0x7FFF); whatever the image holds beyond them is never sent.
constexpr std::uint32_t DOWNLOAD_IMAGE_BYTES = 0x7000;

// The shortest path the name rule accepts, folders included.
constexpr std::size_t MIN_PATH_UNITS = 20;

// The running value a CRC-32/JAMCRC starts from; the result is not inverted.
constexpr std::uint32_t CRC32_START = 0xFFFFFFFFu;

// Why the name rule refused a path.
enum class NameFault {
  kNone,             // accepted
  kTooShort,         // fewer than MIN_PATH_UNITS code units
  kNoBin,            // no ".bin" (exact, lower case) anywhere in the path
  kFewUnitsBefore,   // fewer than 8 code units in front of the first ".bin"
  kNotHex,           // one of those 8 is not a hexadecimal digit
  kReservedVersion,  // the digits are FFFFFFFF, which reads as the refusal mark -1
};

struct ImageName {
  std::int32_t version;  // the version value, -1 when the name is refused
  NameFault fault;
  char16_t ver[9];  // the 8 code units in front of ".bin" and a NUL; empty when not reached
};

// The name rule, on the whole path as given. The tool and the image companion
// both decide by this one function.
ImageName CheckImageName(const char16_t* path);

// The value of the 8 hexadecimal digits at ver (either letter case, most
// significant first), or -1 when one of them is not a digit. Reads no further
// than the first code unit that is not a digit, so a shorter NUL-terminated
// text is safe. FFFFFFFF also gives -1.
std::int32_t ParseHexVersion(const char16_t* ver);

// CRC-32/JAMCRC over length bytes, continuing from value (CRC32_START for a
// fresh check). Feeding the result back in continues over more bytes.
std::uint32_t Crc32Update(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t value);

// The check value a file of n bytes (n at least 4) carries in its last four
// bytes, least significant first.
std::uint32_t StoredCheckValue(const std::uint8_t* databuf, std::uint32_t n);

enum class ImageVerdict {
  kAccepted,
  kFileOpenFailed,  // bad name, or the file cannot be opened
  kCrcCheckFailed,  // fewer than 4 bytes, or the check value does not match
};

// The whole check, silent: decides on the path and the file and leaves in n
// the number of bytes read into databuf (0 when nothing was read). databuf
// holds DATABUF_SIZE bytes; when the file is read it is first filled with 0xFF,
// so bytes the file does not reach read as erased flash.
ImageVerdict ReadImageFile(const char16_t* path, std::uint8_t* databuf, std::uint32_t& n);

// ReadImageFile, telling a refusal on standard output in the tool's words.
// True when the file is accepted and databuf holds it.
bool LoadImageFile(const char16_t* path, std::uint8_t* databuf);

}  // namespace image
