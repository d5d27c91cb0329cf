// The tool's whole run on a hub whose answers come from the input: an update
// with a good image, or a calibration run. The hub keeps real memory and a
// loader that writes what it takes; the input decides every outcome, every
// status and state, the readings, and how long the mode changes take. After
// the run, what the hub holds is judged:
//  - nothing below the firmware changes, and each firmware byte is either the
//    old one or the one staged for it;
//  - a calibrated hub's calibration area ends as it was (update) or, byte for
//    byte, as it was or erased (calibration run);
//  - "Update Completed" only when the hub holds exactly what was staged.
// The run must end: the hub leaves the bus for good after the budget, and a
// run that never gives up shows as libFuzzer's timeout.
//
// Input: flags (bit 0 calibration run, bit 1 hub starts in loader mode, bits
// 2-4 the operator's answers: cancel where set), the mark, the loader's
// appearance, the hub's return and a vanished hub's return (each x 20 ms, 255
// never), the budget (x 40 transfers over 2000); then the faults: a count (up
// to 16) and three bytes each (the transfer, 14 bits little-endian, counted
// from 1; the kind, vanishing when its low two bits are set, failing
// otherwise); then the hub's stream of replies.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/entry.h"
#include "fuzz/check.h"
#include "fuzz/hub.h"
#include "fuzz/temp_folder.h"
#include "image/image_file.h"
#include "protocol/device_image.h"
#include "protocol/frames.h"
#include "sim/clock.h"
#include "tests/operator.h"
#include "tests/screen.h"

namespace {

using fuzzcheck::Check;

constexpr std::size_t kSetupBytes = 6;
constexpr std::size_t kFirmware = DOWNLOAD_REGION_START;
constexpr std::size_t kArea = CALIBRATION_AREA_START;
constexpr std::size_t kEnd = DEVICE_IMAGE_SIZE;
const std::string kCompleted = "========Update Completed!!========";

std::string folder;
std::u16string image_path;
std::vector<std::uint8_t> image_bytes;

std::uint32_t Delay(std::uint8_t b) {
  return b == 0xFF ? fuzzhub::kNever : b * 20u;
}

// SENSORHUB_FUZZ_SHOW=1 tells how each run went: for reading a crash input.
const bool show = std::getenv("SENSORHUB_FUZZ_SHOW") != nullptr;

void Show() {
  std::string told = screen::Stdout();
  // The progress lines overwrite each other on a console; keep the last.
  std::size_t progress = told.rfind("Data Transfer=");
  std::size_t first = told.find("Data Transfer=");
  if (progress != std::string::npos && first != progress)
    told.erase(first, told.find('\r', progress) + 1 - first);
  int sets = 0, gets = 0, failed = 0;
  for (const auto& e : fuzzhub::Exchanges()) {
    (e.set ? sets : gets) += 1;
    failed += e.ok ? 0 : 1;
  }
  std::fprintf(stderr, "stdout: %s\n", told.c_str());
  std::fprintf(stderr, "sets %d, gets %d, failed %d, boxes %zu, downloads %d, %llu ms\n", sets,
               gets, failed, script::Boxes().size(), fuzzhub::DownloadsCompleted(),
               static_cast<unsigned long long>(sim::NowMs()));
}

bool Calibrated(std::uint8_t mark) {
  return mark >= 180 && mark <= 254;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  folder = fuzzcheck::TempFolder();

  // One good image for every run: a pattern unlike the hub's own memory.
  image_bytes.resize(DOWNLOAD_REGION_SIZE);
  for (std::size_t i = 0; i < image_bytes.size(); ++i)
    image_bytes[i] = static_cast<std::uint8_t>((i * 11 + 0x5A + (i >> 8)) & 0xFF);
  std::uint32_t crc = image::Crc32Update(
      image_bytes.data(), static_cast<std::uint32_t>(image_bytes.size()), image::CRC32_START);
  std::string path = folder + "/0000010A.bin";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  Check(file != nullptr, "the image file can be made");
  std::fwrite(image_bytes.data(), 1, image_bytes.size(), file);
  for (int i = 0; i < 4; ++i) std::fputc(static_cast<int>((crc >> (8 * i)) & 0xFF), file);
  Check(std::fclose(file) == 0, "the image file is written");
  image_path = std::u16string(path.begin(), path.end());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kSetupBytes) return 0;
  bool calibration_run = data[0] & 1;
  fuzzhub::Setup setup;
  setup.replies = fuzzhub::Replies::Model;
  setup.mode = (data[0] & 2) ? fuzzhub::Mode::Loader : fuzzhub::Mode::Normal;
  setup.mark = data[1];
  setup.enter_ms = Delay(data[2]);
  setup.return_ms = Delay(data[3]);
  setup.vanish_ms = Delay(data[4]);
  setup.budget = 2000 + data[5] * 40u;
  std::size_t at = kSetupBytes;
  std::size_t faults = at < size ? data[at++] % 17 : 0;
  for (std::size_t i = 0; i < faults && at + 3 <= size; ++i, at += 3) {
    std::uint32_t transfer = (data[at] | (data[at + 1] & 0x3F) << 8) + 1u;
    bool vanishes = (data[at + 2] & 3) == 3;
    setup.faults.push_back({transfer, vanishes ? fuzzhub::Fault::Vanishes : fuzzhub::Fault::Fails});
  }
  fuzzhub::Start(data + at, size - at, setup);

  screen::Reset();
  script::Reset();
  std::vector<int> answers;
  for (int box = 0; box < 3; ++box)
    answers.push_back((data[0] >> (2 + box)) & 1 ? os::IDCANCEL : os::IDOK);
  script::Answer(answers);

  std::u16string program = u"sensorhub.exe";
  std::u16string argument = image_path;
  char16_t* argv[] = {program.data(), argument.data(), nullptr};
  if (calibration_run) argv[1] = nullptr;
  tool::wmain(calibration_run ? 1 : 2, argv);
  if (show) Show();
  Check(fuzzhub::ClosedHandleUses() == 0, "a handle used after it was closed");
  Check(sim::TheHub().counters().load_flags == os::LOAD_LIBRARY_SEARCH_SYSTEM32,
        "HID.DLL loaded from the system directory only");

  const auto& before = fuzzhub::InitialMemory();
  const auto& after = fuzzhub::HubMemory();
  bool normal_start = setup.mode == fuzzhub::Mode::Normal;
  bool keeps = normal_start && Calibrated(setup.mark);

  for (const auto& e : fuzzhub::Exchanges())
    if (e.set && e.bytes[1] == code::CMD_DFU_DATA) Check(e.bytes[2] == 64, "a block is 64 bytes");
  Check(std::memcmp(after.data(), before.data(), kFirmware) == 0, "the loader area changed");

  if (calibration_run) {
    if (!keeps) {
      Check(after == before, "a calibration run that erases nothing wrote to the hub");
      for (const auto& e : fuzzhub::Exchanges())
        Check(!(e.set && e.bytes[1] == code::CMD_ENTER_DFU),
              "the loader entered without a calibration to erase");
    } else {
      Check(std::memcmp(&after[kFirmware], &before[kFirmware], kArea - kFirmware) == 0,
            "the erase changed the hub's firmware");
      for (std::size_t i = kArea; i < kEnd; ++i) {
        std::uint8_t erased = i < kArea + ERASE_RANGE_SIZE ? 0xFF : before[i];
        Check(after[i] == before[i] || after[i] == erased,
              "the calibration area holds something but its own bytes or the erase pattern");
      }
    }
    return 0;
  }

  // The update: the image's bytes, with the calibration area kept when the
  // hub was calibrated.
  std::vector<std::uint8_t> staged(image_bytes);
  if (keeps) std::memcpy(&staged[kArea - kFirmware], &before[kArea], kEnd - kArea);
  for (std::size_t i = kFirmware; i < kEnd; ++i)
    Check(after[i] == before[i] || after[i] == staged[i - kFirmware],
          "a firmware byte that is neither the old one nor the staged one");
  if (keeps)
    Check(std::memcmp(&after[kArea], &before[kArea], kEnd - kArea) == 0,
          "a calibrated hub lost its calibration");
  if (screen::Stdout().find(kCompleted) != std::string::npos)
    Check(std::memcmp(&after[kFirmware], staged.data(), staged.size()) == 0,
          "Update Completed, but the hub does not hold what was staged");
  return 0;
}
