// sensorhub-image: makes firmware image files and checks them by the tool's own
// rules, for the people who prepare images.
//
//   sensorhub-image make RAW VERSION [DIR]   writes DIR/VERSION.bin
//   sensorhub-image check FILE               would the tool accept FILE?
//
// Exit code: 0 done or accepted, 1 refused or failed, 2 wrong usage.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "image/image_file.h"
#include "platform/api.h"
#include "platform/entry.h"

namespace {

constexpr int EXIT_DONE = 0;
constexpr int EXIT_REFUSED = 1;
constexpr int EXIT_USAGE = 2;

// Image bytes that fit beside the check value in what the tool reads.
constexpr std::uint32_t MAX_IMAGE_BYTES = image::DATABUF_SIZE - 4;

void PrintUsage() {
  os::Printf(
      "usage:\n"
      "  sensorhub-image make RAW VERSION [DIR]\n"
      "      Writes DIR/VERSION.bin (DIR: the current folder when left out): the bytes of\n"
      "      RAW followed by their CRC-32/JAMCRC, least significant byte first.\n"
      "      VERSION is 8 hexadecimal digits and not FFFFFFFF. RAW holds at most %u bytes.\n"
      "  sensorhub-image check FILE\n"
      "      Tells whether the station tool accepts FILE as an update image, and why not.\n"
      "      Give FILE exactly as the operator will give it to the tool: the tool judges\n"
      "      the whole path, folders included.\n"
      "exit code: 0 done or accepted, 1 refused or failed, 2 wrong usage\n",
      MAX_IMAGE_BYTES);
}

// Texts for the console: ASCII as it is, every other code unit as '?'.
std::string Shown(std::u16string_view text) {
  std::string shown;
  for (char16_t unit : text) shown.push_back(unit >= 0x20 && unit < 0x7F ? char(unit) : '?');
  return shown;
}

void ExplainName(const char16_t* path, const image::ImageName& name) {
  switch (name.fault) {
    case image::NameFault::kNone:
      break;
    case image::NameFault::kTooShort:
      os::Printf(
          "  The path is %zu characters long; the tool counts the whole path as it is given,\n"
          "  folders included, and needs at least %zu. Give the file with its folder.\n",
          std::u16string_view(path).size(), image::MIN_PATH_UNITS);
      break;
    case image::NameFault::kNoBin:
      os::Printf(
          "  The path has no \".bin\". It must be exactly \".bin\" in lower case: \".BIN\"\n"
          "  and \".Bin\" do not count.\n");
      break;
    case image::NameFault::kFewUnitsBefore:
      os::Printf(
          "  Fewer than 8 characters stand in front of the first \".bin\" in the path.\n"
          "  The 8 characters in front of it must be the version in hexadecimal digits.\n");
      break;
    case image::NameFault::kNotHex:
      os::Printf(
          "  The 8 characters in front of the first \".bin\" in the path, \"%s\", are not\n"
          "  all hexadecimal digits. Only the first \".bin\" counts, also one in a folder\n"
          "  name such as \"fw.binaries\".\n",
          Shown(name.ver).c_str());
      break;
    case image::NameFault::kReservedVersion:
      os::Printf("  The version \"%s\" is FFFFFFFF, which the tool takes for an invalid version.\n",
                 Shown(name.ver).c_str());
      break;
  }
}

void ExplainCrc(const std::uint8_t* databuf, std::uint32_t n) {
  if (n < 4) {
    os::Printf("  The file has %u byte%s; it needs at least the 4 bytes of the check value.\n", n,
               n == 1 ? "" : "s");
    return;
  }
  std::uint32_t stored = image::StoredCheckValue(databuf, n);
  std::uint32_t computed = image::Crc32Update(databuf, n - 4, image::CRC32_START);
  os::Printf(
      "  The last 4 bytes hold 0x%08X (least significant byte first), but the CRC-32/JAMCRC\n"
      "  of the %u image bytes in front of them is 0x%08X.\n",
      stored, n - 4, computed);
  std::uint32_t swapped = (computed >> 24) | ((computed >> 8) & 0xFF00u) |
                          ((computed << 8) & 0xFF0000u) | (computed << 24);
  if (stored == ~computed)
    os::Printf(
        "  The stored value is the common CRC-32, with its final inversion; the tool wants\n"
        "  CRC-32/JAMCRC, which leaves that inversion out.\n");
  else if (stored == swapped)
    os::Printf(
        "  The stored value has its bytes in the wrong order: least significant byte first.\n");
  if (n == image::DATABUF_SIZE)
    os::Printf(
        "  The tool reads only the first %zu bytes of a file and takes the last 4 of those as\n"
        "  the check value; an image holds at most %u bytes.\n",
        image::DATABUF_SIZE, MAX_IMAGE_BYTES);
}

// What a download makes of an image of this length.
void DescribeLength(std::uint32_t image_bytes) {
  if (image_bytes > image::DOWNLOAD_IMAGE_BYTES) {
    os::Printf("  A download sends only the first %u image bytes; the rest are never sent.\n",
               image::DOWNLOAD_IMAGE_BYTES);
  } else if (image_bytes < image::DOWNLOAD_IMAGE_BYTES) {
    std::uint32_t rest = image::DOWNLOAD_IMAGE_BYTES - image_bytes;
    std::uint32_t check_bytes = rest < 4 ? rest : 4;
    os::Printf(
        "  The image is shorter than the %u bytes a download sends: after the image the\n"
        "  download sends %u byte%s of its check value and %u bytes of 0xFF.\n",
        image::DOWNLOAD_IMAGE_BYTES, check_bytes, check_bytes == 1 ? "" : "s", rest - check_bytes);
  }
}

void DescribeAccepted(const image::ImageName& name, const std::uint8_t* databuf, std::uint32_t n) {
  std::uint32_t image_bytes = n - 4;
  std::uint32_t sent =
      image_bytes < image::DOWNLOAD_IMAGE_BYTES ? image_bytes : image::DOWNLOAD_IMAGE_BYTES;
  os::Printf("  Version %08X, check value 0x%08X.\n", static_cast<std::uint32_t>(name.version),
             image::StoredCheckValue(databuf, n));
  os::Printf("  A download takes %u image bytes of the %u in the file.\n", sent, image_bytes);
  DescribeLength(image_bytes);
  if (n == image::DATABUF_SIZE)
    os::Printf("  The tool reads only the first %zu bytes of a file; anything after is ignored.\n",
               image::DATABUF_SIZE);
}

int Check(const char16_t* path) {
  static std::uint8_t databuf[image::DATABUF_SIZE];
  std::uint32_t n = 0;
  image::ImageName name = image::CheckImageName(path);
  image::ImageVerdict verdict = image::ReadImageFile(path, databuf, n);
  std::string shown = Shown(path);
  switch (verdict) {
    case image::ImageVerdict::kAccepted:
      os::Printf("%s: accepted by the tool.\n", shown.c_str());
      DescribeAccepted(name, databuf, n);
      return EXIT_DONE;
    case image::ImageVerdict::kFileOpenFailed:
      os::Printf("%s: refused; the tool shows \"File Open Failed\".\n", shown.c_str());
      if (name.fault != image::NameFault::kNone)
        ExplainName(path, name);
      else
        os::Printf(
            "  The file cannot be opened: it does not exist, is a folder or may not be read.\n");
      return EXIT_REFUSED;
    case image::ImageVerdict::kCrcCheckFailed:
      os::Printf("%s: refused; the tool shows \"CRC check failed\".\n", shown.c_str());
      ExplainCrc(databuf, n);
      return EXIT_REFUSED;
  }
  return EXIT_REFUSED;
}

// True when version is 8 hexadecimal digits the tool takes for a version.
bool CheckVersion(std::u16string_view version) {
  std::u16string text(version);
  if (version.size() == 8 && image::ParseHexVersion(text.c_str()) != -1) return true;
  if (version.size() == 8 && version.find_first_not_of(u"Ff") == std::u16string_view::npos)
    os::Printf("VERSION FFFFFFFF is reserved: the tool takes it for an invalid version.\n");
  else
    os::Printf("VERSION \"%s\" must be exactly 8 hexadecimal digits.\n", Shown(version).c_str());
  return false;
}

int Make(const char16_t* raw_path, const char16_t* version, const char16_t* dir) {
  if (!CheckVersion(version)) return EXIT_REFUSED;

  // One more than fits, so a RAW that is too long is told apart.
  std::vector<std::uint8_t> data(MAX_IMAGE_BYTES + 1);
  std::FILE* raw = os::_wfopen(raw_path, u"rb");
  if (raw == nullptr) {
    os::Printf("Cannot open RAW \"%s\".\n", Shown(raw_path).c_str());
    return EXIT_REFUSED;
  }
  std::size_t length = std::fread(data.data(), 1, data.size(), raw);
  bool read_failed = std::ferror(raw) != 0;
  std::fclose(raw);
  if (read_failed) {
    os::Printf("Cannot read RAW \"%s\".\n", Shown(raw_path).c_str());
    return EXIT_REFUSED;
  }
  if (length > MAX_IMAGE_BYTES) {
    os::Printf(
        "RAW has more than %u bytes: the tool reads at most %zu bytes of an image file,\n"
        "image and 4-byte check value together, and would refuse the file.\n",
        MAX_IMAGE_BYTES, image::DATABUF_SIZE);
    return EXIT_REFUSED;
  }
  std::uint32_t crc =
      image::Crc32Update(data.data(), static_cast<std::uint32_t>(length), image::CRC32_START);
  data.resize(length);
  for (int i = 0; i < 4; ++i) data.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));

  std::u16string out = dir;
  if (!out.empty() && out.back() != u'/' && out.back() != u'\\') out += u'/';
  out += version;
  out += u".bin";
  std::FILE* file = os::_wfopen(out.c_str(), u"wb");
  if (file == nullptr) {
    os::Printf("Cannot create \"%s\".\n", Shown(out).c_str());
    return EXIT_REFUSED;
  }
  bool written = std::fwrite(data.data(), 1, data.size(), file) == data.size();
  written = std::fclose(file) == 0 && written;
  if (!written) {
    os::Printf("Cannot write \"%s\"; its content is incomplete.\n", Shown(out).c_str());
    return EXIT_REFUSED;
  }

  os::Printf("Wrote %s: %zu image bytes and the check value 0x%08X.\n", Shown(out).c_str(), length,
             crc);
  DescribeLength(static_cast<std::uint32_t>(length));
  // The name rule looks at the whole path: a short folder, or a ".bin" in a
  // folder name, makes the tool refuse the file where it was written.
  image::ImageName name = image::CheckImageName(out.c_str());
  if (name.fault != image::NameFault::kNone) {
    os::Printf("  Note: given to the tool as \"%s\", the file would be refused:\n",
               Shown(out).c_str());
    ExplainName(out.c_str(), name);
  }
  return EXIT_DONE;
}

}  // namespace

int ProgramMain(int argc, char16_t** argv) {
  std::u16string_view command = argc > 1 ? argv[1] : u"";
  if (command == u"make" && (argc == 4 || argc == 5))
    return Make(argv[2], argv[3], argc == 5 ? argv[4] : u"");
  if (command == u"check" && argc == 3) return Check(argv[2]);
  PrintUsage();
  return EXIT_USAGE;
}
