#include "image/image_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tests/screen.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const std::string kFileOpenFailed = "\n\r========File Open Failed!!========\n\r";
const std::string kCrcCheckFailed = "\n\r========CRC check failed!!========\n\r";
const std::string kAccepted = "";

// CRC-32/JAMCRC bit by bit, straight from its definition, so the files the
// tests build do not lean on the table-driven code under test.
std::uint32_t ReferenceJamcrc(const Bytes& bytes, std::size_t length) {
  std::uint32_t value = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < length; ++i) {
    value ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ ((value & 1u) ? 0xEDB88320u : 0u);
  }
  return value;
}

// A UTF-16 text for a failure message: ASCII as it is, anything else as '?'.
std::string Shown(const char16_t* text) {
  if (text == nullptr) return "(null)";
  std::string shown;
  for (; *text != u'\0'; ++text) shown.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
  return shown;
}

Bytes Pattern(std::size_t length) {
  Bytes bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return bytes;
}

Bytes WithCheck(Bytes bytes, std::uint32_t check) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(check >> (8 * i)));
  return bytes;
}

// An image of the given length followed by its correct check value.
Bytes Image(std::size_t length) {
  Bytes bytes = Pattern(length);
  return WithCheck(bytes, ReferenceJamcrc(bytes, length));
}

Bytes CommonCrc(std::size_t length) {
  Bytes bytes = Pattern(length);
  return WithCheck(bytes, ~ReferenceJamcrc(bytes, length));
}

Bytes BigEndianCheck(std::size_t length) {
  Bytes bytes = Pattern(length);
  std::uint32_t check = ReferenceJamcrc(bytes, length);
  for (int i = 3; i >= 0; --i) bytes.push_back(static_cast<std::uint8_t>(check >> (8 * i)));
  return bytes;
}

Bytes OneImageByteChanged(std::size_t length) {
  Bytes bytes = Image(length);
  bytes[length / 2] ^= 0x01;
  return bytes;
}

// A correct image filling all that is read, then bytes the tool never reads.
Bytes ValidPrefixThenJunk() {
  Bytes bytes = Image(image::DATABUF_SIZE - 4);
  bytes.insert(bytes.end(), 100, 0x5A);
  return bytes;
}

// Correct over the whole file, but the file is longer than what is read.
Bytes ValidOnlyAsAWhole() {
  return Image(image::DATABUF_SIZE + 40);
}

// A folder of its own per test, made the working folder so a case can give a
// relative path of an exact length.
class ImageFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    folder_ = fs::temp_directory_path() /
              ("sensorhub-image-" + std::to_string(random()) + "-" + std::to_string(random()));
    fs::create_directories(folder_);
    previous_ = fs::current_path();
    fs::current_path(folder_);
    screen::Reset();
  }

  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(folder_);
  }

  static void Put(const std::u16string& path, const Bytes& bytes) {
    fs::path file(path);
    if (file.has_parent_path()) fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }

  fs::path folder_;
  fs::path previous_;
};

enum class At { kFile, kNothing, kFolder };

struct FileCase {
  const char* name;
  std::u16string path;  // relative to the test's folder
  At at;
  Bytes bytes;           // the file's content when at is kFile
  std::string expected;  // standard output, exactly; empty when accepted
};

std::vector<FileCase> FileCases() {
  return {
      // The whole path counts, folders included, in UTF-16 code units.
      {"Path19UnitsRefused", u"abcdef/0000000A.bin", At::kFile, Image(1000), kFileOpenFailed},
      {"Path20UnitsAccepted", u"abcdefg/0000000A.bin", At::kFile, Image(1000), kAccepted},
      {"SurrogatePairCountsTwoUnits", u"\U0001F600abcde/0000000A.bin", At::kFile, Image(1000),
       kAccepted},
      {"NonAsciiFolder", u"\u56FA\u4EF6/firmware/0000000A.bin", At::kFile, Image(1000), kAccepted},
      // Version digits.
      {"LowerCaseDigit", u"firmware/0000000a.bin", At::kFile, Image(1000), kAccepted},
      {"UpperCaseDigit", u"firmware/0000000A.bin", At::kFile, Image(1000), kAccepted},
      {"UpperFsRefused", u"firmware/FFFFFFFF.bin", At::kFile, Image(1000), kFileOpenFailed},
      {"LowerFsRefused", u"firmware/ffffffff.bin", At::kFile, Image(1000), kFileOpenFailed},
      {"MixedFsRefused", u"firmware/fFfFfFfF.bin", At::kFile, Image(1000), kFileOpenFailed},
      {"FFFFFFFEAccepted", u"firmware/FFFFFFFE.bin", At::kFile, Image(1000), kAccepted},
      {"NotAHexDigit", u"firmware/0000000G.bin", At::kFile, Image(1000), kFileOpenFailed},
      {"TextInFrontOfDigits", u"firmware/release-0000000A.bin", At::kFile, Image(1000), kAccepted},
      // ".bin": exact, lower case, and the first one decides.
      {"UpperBinRefused", u"firmware/0000000A.BIN", At::kFile, Image(1000), kFileOpenFailed},
      {"MixedBinRefused", u"firmware/0000000A.Bin", At::kFile, Image(1000), kFileOpenFailed},
      {"NoBinRefused", u"firmware/0000000A.img", At::kFile, Image(1000), kFileOpenFailed},
      {"FolderBinariesDecides", u"images/fw.binaries/0000000A.bin", At::kFile, Image(1000),
       kFileOpenFailed},
      {"FolderBinariesWithHexDecides", u"cafe0123.binaries/FFFFFFFF.bin", At::kFile, Image(1000),
       kAccepted},
      {"SevenUnitsBeforeFirstBin", u"0000000.bin/firmware/0000000A.bin", At::kFile, Image(1000),
       kFileOpenFailed},
      {"TextAfterBinAccepted", u"firmware/0000000A.bin.old", At::kFile, Image(1000), kAccepted},
      // The file itself.
      {"MissingFile", u"firmware/0000000B.bin", At::kNothing, {}, kFileOpenFailed},
      {"FolderNotFile", u"firmware/0000000C.bin", At::kFolder, {}, kFileOpenFailed},
      {"EmptyFile", u"firmware/0000000A.bin", At::kFile, {}, kCrcCheckFailed},
      {"OneByte", u"firmware/0000000A.bin", At::kFile, {0xFF}, kCrcCheckFailed},
      {"TwoBytes", u"firmware/0000000A.bin", At::kFile, {0xFF, 0xFF}, kCrcCheckFailed},
      {"ThreeBytes", u"firmware/0000000A.bin", At::kFile, {0xFF, 0xFF, 0xFF}, kCrcCheckFailed},
      {"EmptyImageFourFFs",
       u"firmware/0000000A.bin",
       At::kFile,
       {0xFF, 0xFF, 0xFF, 0xFF},
       kAccepted},
      {"EmptyImageFourZeros", u"firmware/0000000A.bin", At::kFile, {0, 0, 0, 0}, kCrcCheckFailed},
      {"CommonCrcRefused", u"firmware/0000000A.bin", At::kFile, CommonCrc(1000), kCrcCheckFailed},
      {"BigEndianCheckRefused", u"firmware/0000000A.bin", At::kFile, BigEndianCheck(1000),
       kCrcCheckFailed},
      {"ImageByteChanged", u"firmware/0000000A.bin", At::kFile, OneImageByteChanged(1000),
       kCrcCheckFailed},
      // Lengths around a download and around what is read.
      {"ImageOfADownload", u"firmware/0000000A.bin", At::kFile, Image(image::DOWNLOAD_IMAGE_BYTES),
       kAccepted},
      {"ImageLongerThanADownload", u"firmware/0000000A.bin", At::kFile, Image(30000), kAccepted},
      {"FileFillsDatabuf", u"firmware/0000000A.bin", At::kFile, Image(image::DATABUF_SIZE - 4),
       kAccepted},
      {"LongFileJudgedByFirstBytes", u"firmware/0000000A.bin", At::kFile, ValidPrefixThenJunk(),
       kAccepted},
      {"LongFileValidOnlyAsAWhole", u"firmware/0000000A.bin", At::kFile, ValidOnlyAsAWhole(),
       kCrcCheckFailed},
  };
}

class ImageFileCase : public ImageFolder, public ::testing::WithParamInterface<FileCase> {};

TEST_P(ImageFileCase, PrintsExactlyOrAccepts) {
  const FileCase& c = GetParam();
  if (c.at == At::kFile) Put(c.path, c.bytes);
  if (c.at == At::kFolder) fs::create_directories(fs::path(c.path));

  // Leftovers of an earlier use, to see what the load replaces.
  static std::uint8_t databuf[image::DATABUF_SIZE];
  std::fill(std::begin(databuf), std::end(databuf), 0xA5);

  bool accepted = image::LoadImageFile(c.path.c_str(), databuf);

  EXPECT_EQ(screen::Stdout(), c.expected);
  EXPECT_EQ(accepted, c.expected.empty());
  if (c.expected == kFileOpenFailed) {
    // Refused before any read.
    EXPECT_TRUE(std::all_of(std::begin(databuf), std::end(databuf),
                            [](std::uint8_t b) { return b == 0xA5; }));
  }
  if (accepted) {
    // The file's first bytes, and erased flash where the file did not reach.
    std::size_t n = std::min(c.bytes.size(), image::DATABUF_SIZE);
    EXPECT_TRUE(
        std::equal(c.bytes.begin(), c.bytes.begin() + static_cast<std::ptrdiff_t>(n), databuf));
    EXPECT_TRUE(
        std::all_of(databuf + n, std::end(databuf), [](std::uint8_t b) { return b == 0xFF; }));
  }
}

INSTANTIATE_TEST_SUITE_P(Images, ImageFileCase, ::testing::ValuesIn(FileCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImageFolder, ShortImageStagesErasedFlashNotLeftovers) {
  Put(u"firmware/0000000A.bin", Image(100));
  static std::uint8_t databuf[image::DATABUF_SIZE];
  std::fill(std::begin(databuf), std::end(databuf), 0x00);
  std::uint32_t n = 0;

  EXPECT_EQ(image::ReadImageFile(u"firmware/0000000A.bin", databuf, n),
            image::ImageVerdict::kAccepted);

  EXPECT_EQ(n, 104u);
  // Everything a download takes beyond the file: image bytes 104 to 0x6FFF.
  EXPECT_TRUE(std::all_of(databuf + n, databuf + image::DOWNLOAD_IMAGE_BYTES,
                          [](std::uint8_t b) { return b == 0xFF; }));
}

TEST_F(ImageFolder, SilentCheckTellsHowManyBytesItRead) {
  Put(u"firmware/0000000A.bin", CommonCrc(10));
  static std::uint8_t databuf[image::DATABUF_SIZE];
  std::uint32_t n = 0;

  EXPECT_EQ(image::ReadImageFile(u"firmware/0000000A.bin", databuf, n),
            image::ImageVerdict::kCrcCheckFailed);
  EXPECT_EQ(n, 14u);
  EXPECT_EQ(screen::Stdout(), "");  // the silent check prints nothing
}

struct NameCase {
  const char16_t* path;
  image::NameFault fault;
  std::int32_t version;
};

TEST(CheckImageName, GivesTheVersionOrTheReason) {
  const NameCase cases[] = {
      {u"/images/firmware/0000000A.bin", image::NameFault::kNone, 0x0A},
      {u"/images/firmware/7FFFFFFF.bin", image::NameFault::kNone, 0x7FFFFFFF},
      {u"/images/firmware/80000000.bin", image::NameFault::kNone, INT32_MIN},
      {u"/images/firmware/FFFFFFFE.bin", image::NameFault::kNone, -2},
      {u"/cafe0123.binaries/x.bin", image::NameFault::kNone, static_cast<std::int32_t>(0xCAFE0123)},
      {u"abcdef/0000000A.bin", image::NameFault::kTooShort, -1},
      {u"", image::NameFault::kTooShort, -1},
      {nullptr, image::NameFault::kTooShort, -1},
      {u"/images/firmware/0000000A.BIN", image::NameFault::kNoBin, -1},
      {u"0000000.bin/firmware/0000000A.bin", image::NameFault::kFewUnitsBefore, -1},
      {u"/images/fw.binaries/0000000A.bin", image::NameFault::kNotHex, -1},
      {u"/images/firmware/ffffffff.bin", image::NameFault::kReservedVersion, -1},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(Shown(c.path));
    image::ImageName name = image::CheckImageName(c.path);
    EXPECT_EQ(name.fault, c.fault);
    EXPECT_EQ(name.version, c.version);
  }
}

TEST(ParseHexVersion, ReadsEightDigitsOrRefuses) {
  struct {
    const char16_t* ver;
    std::int32_t value;
  } const cases[] = {
      {u"0000000a", 0x0A},
      {u"0000000A", 0x0A},
      {u"12345678", 0x12345678},
      {u"aBcDeF09", static_cast<std::int32_t>(0xABCDEF09)},
      {u"FFFFFFFE", -2},
      {u"FFFFFFFF", -1},           // the refusal mark itself
      {u"123456789", 0x12345678},  // only 8 units are read
      {u"0000000G", -1},
      {u"0000 00A", -1},
      {u"/0000000", -1},  // '/' sits just below '0'
      {u"0000000:", -1},  // ':' just above '9'
      {u"0000000@", -1},  // '@' just below 'A'
      {u"0000000g", -1},
      {u"1234", -1},  // the NUL ends it before a read past the text
      {u"\uFF10\uFF10\uFF10\uFF10\uFF10\uFF10\uFF10\uFF11", -1},  // fullwidth digits
  };
  for (const auto& c : cases) {
    EXPECT_EQ(image::ParseHexVersion(c.ver), c.value) << Shown(c.ver);
  }
}

TEST(Crc32Update, KnownAnswers) {
  struct {
    std::string text;
    std::uint32_t check;
  } const cases[] = {
      {"123456789", 0x340BC6D9u},
      {"abc", 0xCADBBE3Du},
      {"", 0xFFFFFFFFu},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(image::Crc32Update(reinterpret_cast<const std::uint8_t*>(c.text.data()),
                                 static_cast<std::uint32_t>(c.text.size()), image::CRC32_START),
              c.check)
        << c.text;
  }
}

TEST(Crc32Update, TableEntries) {
  // From a running value of 0, one byte k gives table entry k.
  struct {
    std::uint8_t k;
    std::uint32_t entry;
  } const cases[] = {{0, 0}, {1, 0x77073096u}, {128, 0xEDB88320u}, {255, 0x2D02EF8Du}};
  for (const auto& c : cases) EXPECT_EQ(image::Crc32Update(&c.k, 1, 0), c.entry) << int(c.k);
}

TEST(Crc32Update, ContinuesFromARunningValue) {
  const std::uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  std::uint32_t value = image::Crc32Update(text, 4, image::CRC32_START);
  EXPECT_EQ(image::Crc32Update(text + 4, 5, value), 0x340BC6D9u);
  EXPECT_EQ(image::Crc32Update(text, 0, 0x12345678u), 0x12345678u);
}

}  // namespace
