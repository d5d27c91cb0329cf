// The protocol layer on random device replies. The input's first byte puts
// the hub in normal or loader mode; then the input is one stream from which
// this harness draws the operations (status, readings, memory, the download,
// plain commands and queries with any length) and the hub draws every outcome
// and reply byte. After each operation the frames the hub saw are held
// against what the caller got back.
#include <cstdint>
#include <cstring>
#include <vector>

#include "driver/run.h"
#include "fuzz/check.h"
#include "fuzz/hub.h"
#include "hid/binding.h"
#include "hid/discovery.h"
#include "hid/transport.h"
#include "protocol/device_image.h"
#include "protocol/dfu.h"
#include "protocol/frames.h"
#include "protocol/reads.h"
#include "sim/hub.h"
#include "tests/screen.h"

namespace {

using fuzzcheck::Check;
using fuzzhub::Exchange;

constexpr std::uint8_t kCommands[] = {code::CMD_ENTER_DFU, code::CMD_START,    code::CMD_DFU_BEGIN,
                                      code::CMD_DFU_END,   code::CMD_DFU_DATA, code::CMD_STATE_10,
                                      code::CMD_STATE_12,  code::CMD_STATE_14, code::CMD_STATE_16,
                                      code::CMD_STATE_18,  code::CMD_STATE_19, code::CMD_STATE_20,
                                      code::CMD_STOP};
constexpr int kBlocks = static_cast<int>(DOWNLOAD_REGION_SIZE / 64);

// The exchanges an operation made: those after `from`.
std::vector<Exchange> Since(std::size_t from) {
  const auto& all = fuzzhub::Exchanges();
  return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
}

int Length() {
  // Around the limits: a few below 0, up to well past 131.
  return static_cast<int>(fuzzhub::Next()) - 6;
}

// One query: one or two sets, then the get. Its result must be the get's, and
// IO_OK only when a set and the get went through.
const Exchange& CheckQuery(const std::vector<Exchange>& made, int result, std::uint8_t query) {
  Check(!made.empty() && !made.back().set, "a query ends with its get");
  Check(made.size() == 2 || made.size() == 3, "a query is one or two sets and one get");
  bool set_ok = false;
  for (std::size_t i = 0; i + 1 < made.size(); ++i) {
    Check(made[i].set && made[i].bytes[1] == query, "a query's set carries its code");
    set_ok = set_ok || made[i].ok;
  }
  if (made.size() == 3) Check(!made[0].ok, "a second set only after a failed one");
  const Exchange& get = made.back();
  if (result == IO_OK) Check(get.ok && set_ok, "IO_OK for a query that did not go through");
  if (!get.ok) Check(result == IO_FAILED, "a failed get passed for a reply");
  return get;
}

void Status(os::HANDLE hub) {
  std::size_t from = fuzzhub::Exchanges().size();
  std::uint8_t status = 0xEE, state = 0xEE;
  int result = QueryStatus(hub, &status, &state);
  auto made = Since(from);
  const Exchange& get = CheckQuery(made, result, code::QRY_STATUS);
  // Delivered whatever the result: the frame as the get left it.
  Check(status == get.bytes[1] && state == get.bytes[2], "status and state from the reply");
}

void Readings(os::HANDLE hub) {
  std::size_t from = fuzzhub::Exchanges().size();
  SensorData record;
  std::memset(&record, 0xEE, sizeof record);
  int result = ReadSensorData(hub, &record);
  auto made = Since(from);
  Check(made.size() == 2 && made[0].set, "a reading is one set and one get");
  Check(made[0].bytes[2] == 0 && made[0].bytes[3] == 0, "a reading asks for index 0");
  Check(!made[1].set, "a reading ends with its get");
  if (result == IO_OK) Check(made[0].ok && made[1].ok, "IO_OK for a reading that failed");
  if (!made[1].ok) Check(result == IO_FAILED, "a failed get passed for a reading");
  Check(std::memcmp(&record, &made[1].bytes[4], sizeof record) == 0,
        "all 60 record bytes from the reply");
}

void Memory(os::HANDLE hub) {
  std::uint32_t size = (fuzzhub::Next() | fuzzhub::Next() << 8) % (DEVICE_IMAGE_SIZE + 1);
  std::vector<std::uint8_t> dest(size, 0xEE);  // exactly the size: a write past it is caught
  std::size_t from = fuzzhub::Exchanges().size();
  int result = ReadDeviceMemory(hub, dest.data(), size);
  auto made = Since(from);
  std::size_t chunks = (size + 59) / 60;
  Check(made.size() == 2 * chunks, "one set and one get per 60-byte chunk");
  bool all_ok = true;
  for (std::size_t k = 0; k < chunks; ++k) {
    const Exchange& set = made[2 * k];
    const Exchange& get = made[2 * k + 1];
    Check(set.set && !get.set && set.bytes[1] == code::QRY_MEMORY, "a chunk is a set and a get");
    Check((set.bytes[2] | set.bytes[3] << 8) == static_cast<int>(k), "chunks asked for in order");
    std::size_t length = std::min<std::size_t>(60, size - 60 * k);
    Check(std::memcmp(&dest[60 * k], &get.bytes[4], length) == 0, "a chunk from its reply");
    all_ok = all_ok && set.ok && get.ok;
    if (!get.ok) Check(result == IO_FAILED, "a failed chunk passed for the hub's bytes");
  }
  if (result == IO_OK) Check(all_ok, "IO_OK for a read with a failed chunk");
}

void Download(os::HANDLE hub) {
  // Every block distinct, so a block sent out of turn shows.
  std::uint8_t salt = fuzzhub::Next();
  for (std::size_t i = 0; i < DEVICE_IMAGE_SIZE; ++i)
    DeviceImage[i] = static_cast<std::uint8_t>((i >> 6) ^ (i * 7) ^ salt);
  std::size_t from = fuzzhub::Exchanges().size();
  int result = DfuDownload(hub);
  auto made = Since(from);
  Check(result == 0 || result == 1, "DfuDownload answers 0 or 1");
  if (hub == os::INVALID_HANDLE_VALUE) {
    Check(result == 0 && made.empty(), "no download on an invalid handle");
    return;
  }

  int blocks = 0;  // blocks the loader took
  bool started = false;
  for (std::size_t i = 0; i < made.size(); ++i) {
    const Exchange& e = made[i];
    if (e.set && e.bytes[1] == code::CMD_DFU_DATA) {
      Check(blocks < kBlocks, "a block beyond the download region");
      Check(e.bytes[2] == 64, "a block is 64 bytes");
      Check(std::memcmp(&e.bytes[3], &DeviceImage[DOWNLOAD_REGION_START + 64 * blocks], 64) == 0,
            "blocks go in order, each the download region's next");
      // Before a new block: the previous step's last poll said "not busy".
      if (e.bytes[0] == REPORT_ID) {
        Check(i > 0 && !made[i - 1].set && made[i - 1].ok, "a block follows a good poll");
        Check(made[i - 1].bytes[1] != STATUS_BUSY, "a block sent while the loader is busy");
        if (blocks == 0)
          Check(made[i - 1].bytes[1] == 0 && made[i - 1].bytes[2] == STATE_LOADER_READY,
                "the first block before the loader said ready");
      }
      if (e.ok) ++blocks;
    }
    if (e.set && e.bytes[1] == code::CMD_START) started = true;
  }
  if (result == 1) Check(blocks == kBlocks, "a download that succeeded sent every block");
  Check(started == (result == 1), "the firmware started exactly when the download succeeded");
}

void Command(os::HANDLE hub) {
  std::uint8_t command = kCommands[fuzzhub::Next() % sizeof kCommands];
  int length = Length();
  bool null_payload = fuzzhub::Next() % 4 == 0;
  std::vector<std::uint8_t> payload(static_cast<std::size_t>(std::max(length, 0)));
  for (auto& b : payload) b = fuzzhub::Next();
  std::size_t from = fuzzhub::Exchanges().size();
  int result = SendCommand(hub, command, length, null_payload ? nullptr : payload.data());
  auto made = Since(from);
  if (length < 0 || length > FEATURE_PACKET_SIZE - 3) {
    Check(result == IO_FAILED && made.empty(), "a length past the frame is refused unsent");
    return;
  }
  Check(made.size() == 1 || made.size() == 2, "a command is sent once, or twice");
  Check(made[0].bytes[0] == REPORT_ID, "first with report ID 2");
  if (made.size() == 2) Check(!made[0].ok && made[1].bytes[0] == 0, "then with 0 after a failure");
  for (const auto& e : made) {
    Check(e.set && e.bytes[1] == command && e.bytes[2] == length, "the command's code and length");
    for (int i = 0; i < length; ++i)
      Check(e.bytes[3 + i] == (null_payload ? 0 : payload[static_cast<std::size_t>(i)]),
            "the payload as given");
  }
  Check((result == IO_OK) == made.back().ok, "the result is the last attempt's");
}

void Query(os::HANDLE hub) {
  bool indexed = fuzzhub::Next() % 2 == 0;
  std::uint8_t query = indexed ? (fuzzhub::Next() % 2 ? code::QRY_MEMORY : code::QRY_SENSOR_DATA)
                               : (fuzzhub::Next() % 2 ? code::QRY_INFO : code::QRY_STATUS);
  int length = Length();
  std::uint16_t index = static_cast<std::uint16_t>(fuzzhub::Next() | fuzzhub::Next() << 8);
  std::vector<std::uint8_t> reply(static_cast<std::size_t>(std::max(length, 0)), 0xEE);
  // Exactly the length asked for, so a write past it is caught; a real
  // pointer even for none (the tool's own callers never ask for 0 bytes).
  std::uint8_t none = 0;
  std::uint8_t* into = reply.empty() ? &none : reply.data();
  std::size_t from = fuzzhub::Exchanges().size();
  int result = indexed ? QueryIndexed(hub, query, index, length, into)
                       : QueryCommand(hub, query, length, into);
  auto made = Since(from);
  int limit = indexed ? FEATURE_PACKET_SIZE - 4 : FEATURE_PACKET_SIZE - 1;
  if (length < 0 || length > limit) {
    Check(result == IO_FAILED && made.empty(), "a reply length past the frame is refused unsent");
    return;
  }
  const Exchange& get = CheckQuery(made, result, query);
  if (indexed) {
    Check(made.size() == 2, "an indexed query has no second set");
    Check((made[0].bytes[2] | made[0].bytes[3] << 8) == index, "the index as given");
  } else {
    Check(made[0].bytes[2] == length, "a plain query names its reply length");
  }
  if (length > 0)
    Check(std::memcmp(reply.data(), &get.bytes[indexed ? 4 : 1], reply.size()) == 0,
          "the reply bytes as got");
}

void Wrapper(os::HANDLE hub) {
  using Sender = int (*)(os::HANDLE);
  static constexpr Sender kSenders[] = {CMD_ENTER_DFU, CMD_START,    CMD_DFU_BEGIN, CMD_DFU_END,
                                        CMD_STATE_10,  CMD_STATE_12, CMD_STATE_14,  CMD_STATE_16,
                                        CMD_STATE_18,  CMD_STATE_19, CMD_STATE_20,  CMD_STOP};
  static constexpr std::uint8_t kCodes[] = {
      code::CMD_ENTER_DFU, code::CMD_START,    code::CMD_DFU_BEGIN, code::CMD_DFU_END,
      code::CMD_STATE_10,  code::CMD_STATE_12, code::CMD_STATE_14,  code::CMD_STATE_16,
      code::CMD_STATE_18,  code::CMD_STATE_19, code::CMD_STATE_20,  code::CMD_STOP};
  std::size_t pick = fuzzhub::Next() % std::size(kSenders);
  std::size_t from = fuzzhub::Exchanges().size();
  int result = kSenders[pick](hub);
  auto made = Since(from);
  Check(!made.empty() && made.size() <= 2, "a command is sent once, or twice");
  for (const auto& e : made)
    Check(e.bytes[1] == kCodes[pick] && e.bytes[2] == 1 && e.bytes[3] == 0,
          "a command with one payload byte, 0");
  Check((result == IO_OK) == made.back().ok, "the result is the last attempt's");

  from = fuzzhub::Exchanges().size();
  std::uint8_t info[12];
  result = QueryInfo(hub, info);
  made = Since(from);
  const Exchange& get = CheckQuery(made, result, code::QRY_INFO);
  Check(std::memcmp(info, &get.bytes[1], sizeof info) == 0, "the 12 information bytes");

  std::uint8_t status = QueryStatusOnly(hub);
  Check(status == fuzzhub::Exchanges().back().bytes[1], "QueryStatusOnly gives the status byte");
  std::uint8_t state = QueryStateOnly(hub);
  Check(state == fuzzhub::Exchanges().back().bytes[2], "QueryStateOnly gives the state byte");
}

// Input and output reports and the library's other entry points: the tool
// binds them all, so they must behave.
void Reports(os::HANDLE hub) {
  std::uint8_t buffer[FEATURE_PACKET_SIZE] = {};
  std::uint32_t length = FEATURE_PACKET_SIZE;
  if (HidRead(hub, IO_INPUT, 1, buffer, length) == IO_OK)
    Check(length == 64 && buffer[0] == 1, "an input report of 64 bytes, report ID 1");
  else
    Check(length == FEATURE_PACKET_SIZE, "a failed read leaves the length");
  HidWrite(hub, IO_OUTPUT, buffer, FEATURE_PACKET_SIZE);
  std::uint8_t attributes[12] = {};
  if (HidBinding.HidD_GetAttributes(hub, attributes))
    Check(attributes[4] == 0x21 && attributes[5] == 0x47, "the hub's vendor");
  char16_t product[32] = {};
  if (HidBinding.HidD_GetProductString(hub, product, sizeof product))
    Check(product[0] == u'V', "the hub's product string");
  std::uint8_t input[FEATURE_PACKET_SIZE] = {1};
  HidBinding.HidD_GetInputReport(hub, input, sizeof input);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  fuzzcheck::Check(LoadHidLibrary(), "the HID library binds");
  fuzzcheck::Check(sim::TheHub().counters().load_flags == os::LOAD_LIBRARY_SEARCH_SYSTEM32,
                   "HID.DLL loaded from the system directory only");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  fuzzhub::Setup setup;
  setup.replies = fuzzhub::Replies::Raw;
  bool loader = data[0] & 1;
  setup.mode = loader ? fuzzhub::Mode::Loader : fuzzhub::Mode::Normal;
  setup.budget = 6000;
  fuzzhub::Start(data, size, setup);
  fuzzhub::Next();
  screen::Reset();  // the download's progress lines land there

  const char16_t* fragment = loader ? DFU_LOADER_ID : SENSOR_HUB_ID;
  os::HANDLE hub = OpenHidDevice(fragment);
  for (int op = 0; op < 64 && fuzzhub::InputLeft(); ++op) {
    switch (fuzzhub::Next() % 11) {
      case 0:
        Status(hub);
        break;
      case 1:
        Readings(hub);
        break;
      case 2:
        Memory(hub);
        break;
      case 3:
        Download(hub);
        break;
      case 4:
        Command(hub);
        break;
      case 5:
        Query(hub);
        break;
      case 6:
        Wrapper(hub);
        break;
      case 7:
        Reports(hub);
        break;
      case 8:
        Download(os::INVALID_HANDLE_VALUE);
        break;
      case 9:
        // The hub may have left and come back in another mode: look again.
        if (hub != os::INVALID_HANDLE_VALUE) os::CloseHandle(hub);
        hub = OpenHidDevice(fuzzhub::Next() % 2 ? DFU_LOADER_ID : SENSOR_HUB_ID);
        break;
      default:
        os::Sleep(fuzzhub::Next() * 20u);
        break;
    }
  }
  if (hub != os::INVALID_HANDLE_VALUE) os::CloseHandle(hub);
  Check(fuzzhub::OpenHandles() == 0, "every handle closed");
  Check(fuzzhub::ClosedHandleUses() == 0, "a handle used after it was closed");
  return 0;
}
