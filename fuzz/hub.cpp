#include "fuzz/hub.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <utility>

#include "fuzz/check.h"
#include "platform/api.h"
#include "sim/clock.h"

namespace fuzzhub {

#define GUID_TEXT u"{4d1e55b2-f16f-11cf-88cb-001111000030}"
const char16_t kHubPath[] =
    u"\\\\?\\hid#vid_4721&pid_0800&mi_01&col02#7&3a4b5c6d&0&0001#" GUID_TEXT;
const char16_t kLoaderPath[] = u"\\\\?\\hid#vid_4721&pid_df25#6&5e6f7a8b&0&0000#" GUID_TEXT;

namespace {

const char16_t kMousePath[] = u"\\\\?\\hid#vid_845e&pid_0001#1&2d595ca7&0&0000#" GUID_TEXT;
const char16_t kCol01Path[] =
    u"\\\\?\\hid#vid_4721&pid_0800&mi_01&col01#7&3a4b5c6d&0&0000#" GUID_TEXT;
#undef GUID_TEXT

const os::GUID kHidGuid = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

constexpr std::uint8_t kEnterDfu = 0x00, kStart = 0x01, kDfuBegin = 0x02, kDfuEnd = 0x03,
                       kDfuData = 0x04;
constexpr std::uint8_t kSensorData = 0x83, kMemoryChunk = 0x84, kInfo = 0x85, kStatus = 0x86;
constexpr std::uint8_t kBusy = 2, kLoaderIdle = 2, kLoaderReady = 3, kLoaderError = 4;
constexpr std::size_t kFirmwareStart = 0x1000;
constexpr std::size_t kMarkAddress = 0x7C00;
constexpr std::size_t kChunk = 60;
constexpr std::size_t kInputReport = 64;

bool IsQuery(std::uint8_t code) {
  return code >= 0x83 && code <= 0x86;
}

enum class Role { Other, HubCol01, HubCol02, Loader };
enum class Outcome { Taken, Fails, Vanishes };
enum class Phase { Idle, Receiving, Ended };

struct Handle {
  Role role;
  std::uint64_t epoch;
  bool closed = false;
};

struct Device {
  const char16_t* path;
  Role role;
};

struct DeviceSet {
  std::vector<Device> devices;
  bool destroyed = false;
};

struct World {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t at = 0;
  Setup setup;

  Mode mode = Mode::Normal;
  std::uint64_t epoch = 1;
  bool pending = false;
  std::uint64_t due = 0;
  Mode next = Mode::Normal;
  bool gone_for_good = false;
  std::uint32_t transfers = 0;

  Memory initial{};
  Memory memory{};
  Phase phase = Phase::Idle;
  std::size_t write_pointer = kFirmwareStart;
  bool complete = false;
  int completed = 0;
  std::uint8_t status = 0, state = 0;
  std::uint8_t query_code = 0;
  std::uint16_t query_index = 0;
  std::array<std::uint8_t, 60> last_record{};

  std::vector<Exchange> exchanges;
  std::deque<Handle> handles;
  std::deque<DeviceSet> sets;
  os::DWORD last_error = 0;
};

World world;

// The module handle of the fuzz programs' HID.DLL.
char hid_module;

Memory MemoryWithMark(std::uint8_t mark) {
  // Loader below the firmware, firmware, then the calibration area: data
  // behind a calibrated mark, erased behind any other; the serial number last.
  Memory memory{};
  for (std::size_t i = 0; i < kMemorySize; ++i)
    memory[i] = i < kFirmwareStart ? static_cast<std::uint8_t>(0xA5 ^ (i & 0xFF))
                                   : static_cast<std::uint8_t>((i * 7 + 3) & 0xFF);
  bool calibrated = mark >= 180 && mark <= 254;
  for (std::size_t i = kMarkAddress + 1; i < kMemorySize - 4; ++i)
    memory[i] = calibrated ? static_cast<std::uint8_t>((i * 13 + 5) & 0xFF) : 0xFF;
  memory[kMarkAddress] = mark;
  memory[0x7FFC] = 0x12;
  memory[0x7FFD] = 0x34;
  memory[0x7FFE] = 0x56;
  memory[0x7FFF] = 0x78;
  return memory;
}

void Enter(Mode mode) {
  world.mode = mode;
  ++world.epoch;
  if (mode == Mode::Loader) {
    world.phase = Phase::Idle;
    world.write_pointer = kFirmwareStart;
    world.complete = false;
    world.status = 0;
    world.state = kLoaderIdle;
  }
}

void Schedule(std::uint32_t delay_ms, Mode next) {
  world.pending = delay_ms != kNever;
  world.due = sim::NowMs() + delay_ms;
  world.next = next;
}

void CatchUp() {
  if (world.pending && sim::NowMs() >= world.due) {
    world.pending = false;
    Enter(world.next);
  }
}

// A tool still talking this long after the hub left for good never gives up.
constexpr std::uint32_t kRunawayTransfers = 200000;

// Each transfer costs a millisecond of the link, and one of the budget.
void Transfer() {
  sim::AdvanceClock(1);
  fuzzcheck::Check(world.transfers < world.setup.budget + kRunawayTransfers,
                   "the tool keeps talking to a hub that has left the bus for good");
  if (++world.transfers > world.setup.budget && !world.gone_for_good) {
    world.gone_for_good = true;
    world.pending = false;
    Enter(Mode::Gone);
  }
  CatchUp();
}

void Vanish() {
  Mode was = world.mode;
  Enter(Mode::Gone);
  Schedule(world.setup.vanish_ms, was);
}

Outcome Draw() {
  if (world.setup.replies == Replies::Model) {
    for (const auto& at : world.setup.faults)
      if (at.transfer == world.transfers)
        return at.fault == Fault::Vanishes ? Outcome::Vanishes : Outcome::Fails;
    return Outcome::Taken;
  }
  std::uint8_t b = Next();
  if (b == 0xFF) return Outcome::Vanishes;
  if (b >= 0xF0) return Outcome::Fails;
  return Outcome::Taken;
}

// A run of bytes from the input: zeros, literal input bytes, one repeated
// byte, or all 0xFF.
void FillFromInput(std::uint8_t* bytes, std::size_t length) {
  std::memset(bytes, 0, length);
  switch (Next() % 4) {
    case 0:
      break;
    case 1: {
      std::size_t count = Next() % (length + 1);
      for (std::size_t i = 0; i < count; ++i) bytes[i] = Next();
      break;
    }
    case 2:
      std::memset(bytes, Next(), length);
      break;
    default:
      std::memset(bytes, 0xFF, length);
      break;
  }
}

std::vector<Device> Bus() {
  std::vector<Device> devices{{kMousePath, Role::Other}};
  if (world.mode == Mode::Normal) {
    devices.push_back({kCol01Path, Role::HubCol01});
    devices.push_back({kHubPath, Role::HubCol02});
  } else if (world.mode == Mode::Loader) {
    devices.push_back({kLoaderPath, Role::Loader});
  }
  return devices;
}

Handle* Find(os::HANDLE handle) {
  for (auto& h : world.handles)
    if (&h == handle) return &h;
  return nullptr;
}

// A handle works while the device it was opened on is on the bus: a hub that
// left and came back is a new device to Windows.
bool Usable(os::HANDLE handle, Role* role) {
  Handle* h = Find(handle);
  if (h == nullptr) {
    world.last_error = os::ERROR_INVALID_HANDLE;
    return false;
  }
  fuzzcheck::Check(!h->closed, "the tool used a handle it had closed");
  if (h->role != Role::Other && h->epoch != world.epoch) {
    world.last_error = os::ERROR_DEVICE_NOT_CONNECTED;
    return false;
  }
  *role = h->role;
  return true;
}

void Log(bool set, bool ok, std::uint8_t code, const std::uint8_t* bytes) {
  Exchange exchange;
  exchange.set = set;
  exchange.ok = ok;
  exchange.mode = world.mode;
  exchange.code = code;
  std::memcpy(exchange.bytes.data(), bytes, kReportSize);
  world.exchanges.push_back(exchange);
}

// What the tool may put in a frame: report ID 2 or 0, and nothing beyond
// the payload it means to send.
void CheckFrame(const std::uint8_t* report, std::size_t length) {
  fuzzcheck::Check(length == kReportSize, "a feature report of another length than 131");
  fuzzcheck::Check(report[0] == 2 || report[0] == 0, "a report ID other than 2 or 0");
  std::uint8_t code = report[1];
  std::size_t used = 3 + report[2];
  if (code == kSensorData || code == kMemoryChunk) used = 4;  // code and a 16-bit index
  if (code == kInfo || code == kStatus) used = 3;             // code and a reply length
  fuzzcheck::Check(used <= kReportSize, "a command whose payload runs past the frame");
  for (std::size_t i = used; i < kReportSize; ++i)
    fuzzcheck::Check(report[i] == 0, "a frame with bytes beyond its payload");
}

void LoaderCommand(std::uint8_t code, const std::uint8_t* payload, std::size_t length) {
  switch (code) {
    case kDfuBegin:
      world.phase = Phase::Receiving;
      world.write_pointer = kFirmwareStart;
      world.complete = false;
      world.status = 0;
      world.state = kLoaderReady;
      break;
    case kDfuData:
      if (world.phase != Phase::Receiving || world.write_pointer + length > kMemorySize) {
        world.status = kLoaderError;
        break;
      }
      std::memcpy(&world.memory[world.write_pointer], payload, length);
      world.write_pointer += length;
      world.status = 0;
      break;
    case kDfuEnd:
      world.complete = world.phase == Phase::Receiving && world.write_pointer == kMemorySize;
      world.phase = Phase::Ended;
      world.status = 0;
      world.state = kLoaderIdle;
      break;
    case kStart:
      // Only a whole image is started; a partial one keeps the loader.
      if (!world.complete) break;
      ++world.completed;
      Enter(Mode::Gone);
      Schedule(world.setup.return_ms, Mode::Normal);
      break;
    default:
      break;
  }
}

void Command(std::uint8_t code, const std::uint8_t* payload, std::size_t length) {
  if (world.mode == Mode::Loader) {
    LoaderCommand(code, payload, length);
  } else if (code == kEnterDfu) {
    Enter(Mode::Gone);
    Schedule(world.setup.enter_ms, Mode::Loader);
  }
}

void ModelReply(std::uint8_t* report) {
  bool normal = world.mode == Mode::Normal;
  switch (world.query_code) {
    case kStatus:
      if (!normal) {
        std::uint8_t b = Next();
        if (b < 0xC0) {
          report[1] = world.status;
          report[2] = world.state;
        } else if (b < 0xF0) {
          report[1] = kBusy;
          report[2] = world.state;
        } else {
          report[1] = Next();
          report[2] = Next();
        }
      } else {
        report[1] = Next();
        report[2] = Next();
      }
      break;
    case kSensorData:
      if (normal) {
        std::array<std::uint8_t, 60> record{};
        if (Next() % 2 == 0)
          FillFromInput(record.data(), record.size());
        else
          record = world.last_record;
        // The mark is the hub's own: what its calibration area holds.
        record[29] = world.memory[kMarkAddress];
        world.last_record = record;
        std::memcpy(report + 4, record.data(), record.size());
      }
      break;
    case kMemoryChunk:
      if (normal)
        for (std::size_t i = 0; i < kChunk; ++i) {
          std::size_t address = std::size_t{world.query_index} * kChunk + i;
          report[4 + i] = address < kMemorySize ? world.memory[address] : 0xFF;
        }
      break;
    case kInfo: {
      static constexpr std::uint8_t kInfoBytes[8] = {'V', 'K', 1, 70, 2, 0, 0, 0};
      std::memcpy(report + 1, kInfoBytes, sizeof kInfoBytes);
      std::memcpy(report + 9, &world.memory[0x7FFC], 4);
      break;
    }
    default:
      break;
  }
}

void OS_WINAPI FuzzGetHidGuid(os::GUID* guid) {
  *guid = kHidGuid;
}

os::BOOLEAN OS_WINAPI FuzzGetProductString(os::HANDLE device, void* buffer, os::ULONG length) {
  static constexpr char16_t kProduct[] = u"Velkor Sensor Hub";
  Role role;
  if (!Usable(device, &role) || length < sizeof kProduct) return 0;
  std::memcpy(buffer, kProduct, sizeof kProduct);
  return 1;
}

os::BOOLEAN OS_WINAPI FuzzGetAttributes(os::HANDLE device, void* attributes) {
  // HIDD_ATTRIBUTES: size, vendor, product, version.
  struct {
    os::ULONG size;
    std::uint16_t vendor, product, version;
  } filled{};
  Role role;
  if (!Usable(device, &role)) return 0;
  filled.size = sizeof filled;
  filled.vendor = role == Role::Other ? 0x845E : 0x4721;
  filled.product = role == Role::Loader ? 0xDF25 : 0x0800;
  filled.version = 0x0170;
  std::memcpy(attributes, &filled, sizeof filled);
  return 1;
}

os::BOOLEAN OS_WINAPI FuzzSetFeature(os::HANDLE device, void* buffer, os::ULONG length) {
  Transfer();
  const auto* report = static_cast<const std::uint8_t*>(buffer);
  CheckFrame(report, length);
  std::uint8_t code = report[1];
  Role role;
  if (!Usable(device, &role)) {
    Log(true, false, code, report);
    return 0;
  }
  if (role != Role::HubCol02 && role != Role::Loader) {
    world.last_error = os::ERROR_INVALID_PARAMETER;
    Log(true, false, code, report);
    return 0;
  }
  switch (Draw()) {
    case Outcome::Vanishes:
      Log(true, false, code, report);
      Vanish();
      world.last_error = os::ERROR_DEVICE_NOT_CONNECTED;
      return 0;
    case Outcome::Fails:
      Log(true, false, code, report);
      world.last_error = os::ERROR_GEN_FAILURE;
      return 0;
    case Outcome::Taken:
      break;
  }
  Log(true, true, code, report);
  if (IsQuery(code)) {
    world.query_code = code;
    world.query_index = static_cast<std::uint16_t>(report[2] | (report[3] << 8));
  } else {
    Command(code, report + 3, std::min<std::size_t>(report[2], kReportSize - 3));
  }
  return 1;
}

os::BOOLEAN OS_WINAPI FuzzGetFeature(os::HANDLE device, void* buffer, os::ULONG length) {
  Transfer();
  auto* report = static_cast<std::uint8_t*>(buffer);
  fuzzcheck::Check(length == kReportSize, "a get of another length than 131");
  fuzzcheck::Check(report[0] == 2 || report[0] == 0, "a get with a report ID other than 2 or 0");
  Role role;
  if (!Usable(device, &role) || (role != Role::HubCol02 && role != Role::Loader)) {
    if (Find(device) != nullptr && world.last_error != os::ERROR_DEVICE_NOT_CONNECTED)
      world.last_error = os::ERROR_INVALID_PARAMETER;
    Log(false, false, world.query_code, report);
    return 0;
  }
  switch (Draw()) {
    case Outcome::Vanishes:
      Log(false, false, world.query_code, report);
      Vanish();
      world.last_error = os::ERROR_DEVICE_NOT_CONNECTED;
      return 0;
    case Outcome::Fails:
      Log(false, false, world.query_code, report);
      world.last_error = os::ERROR_GEN_FAILURE;
      return 0;
    case Outcome::Taken:
      break;
  }
  std::memset(report + 1, 0, kReportSize - 1);
  if (world.setup.replies == Replies::Raw)
    FillFromInput(report + 1, kReportSize - 1);
  else
    ModelReply(report);
  Log(false, true, world.query_code, report);
  return 1;
}

// Input report 1 of the hub's collection: 64 bytes.
bool ReadInputReport(os::HANDLE device, std::uint8_t* buffer, std::size_t length,
                     std::size_t* got) {
  Transfer();
  Role role;
  if (!Usable(device, &role)) return false;
  if (role != Role::HubCol02 || length < kInputReport) {
    world.last_error = os::ERROR_INVALID_USER_BUFFER;
    return false;
  }
  if (Draw() != Outcome::Taken) {
    world.last_error = os::ERROR_GEN_FAILURE;
    return false;
  }
  buffer[0] = 1;
  FillFromInput(buffer + 1, kInputReport - 1);
  *got = kInputReport;
  return true;
}

os::BOOLEAN OS_WINAPI FuzzGetInputReport(os::HANDLE device, void* buffer, os::ULONG length) {
  std::size_t got = 0;
  return ReadInputReport(device, static_cast<std::uint8_t*>(buffer), length, &got) ? 1 : 0;
}

template <typename Function>
os::FARPROC AsFarproc(Function function) {
  return reinterpret_cast<os::FARPROC>(function);
}

}  // namespace

void Start(const std::uint8_t* data, std::size_t size, const Setup& setup) {
  sim::SetClockMode(sim::ClockMode::Virtual);
  sim::ResetClock();
  world.data = data;
  world.size = size;
  world.at = 0;
  world.setup = setup;
  world.mode = setup.mode;
  world.epoch = 1;
  world.pending = false;
  world.gone_for_good = false;
  world.transfers = 0;
  world.initial = MemoryWithMark(setup.mark);
  world.memory = world.initial;
  world.phase = Phase::Idle;
  world.write_pointer = kFirmwareStart;
  world.complete = false;
  world.completed = 0;
  world.status = 0;
  world.state = setup.mode == Mode::Loader ? kLoaderIdle : 0;
  world.query_code = 0;
  world.query_index = 0;
  world.last_record = {};
  world.exchanges.clear();
  world.handles.clear();
  world.sets.clear();
  world.last_error = 0;
}

std::uint8_t Next() {
  return world.at < world.size ? world.data[world.at++] : 0;
}

bool InputLeft() {
  return world.at < world.size;
}

const std::vector<Exchange>& Exchanges() {
  return world.exchanges;
}
const Memory& InitialMemory() {
  return world.initial;
}
const Memory& HubMemory() {
  return world.memory;
}
Mode CurrentMode() {
  CatchUp();
  return world.mode;
}
int DownloadsCompleted() {
  return world.completed;
}
int OpenHandles() {
  return static_cast<int>(
      std::count_if(world.handles.begin(), world.handles.end(), [](auto& h) { return !h.closed; }));
}

}  // namespace fuzzhub

namespace os {

using fuzzhub::world;

DWORD GetLastError() {
  return world.last_error;
}
void SetLastError(DWORD code) {
  world.last_error = code;
}

HMODULE LoadLibraryExW(const WCHAR* name, HANDLE /*file*/, DWORD flags) {
  // Only HID.DLL, and only from the system directory.
  fuzzcheck::Check(flags == LOAD_LIBRARY_SEARCH_SYSTEM32, "a library loaded from the search path");
  if (name == nullptr || std::u16string(name) != u"HID.DLL") {
    world.last_error = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  return &fuzzhub::hid_module;
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
  if (module != &fuzzhub::hid_module) {
    world.last_error = ERROR_PROC_NOT_FOUND;
    return nullptr;
  }
  const std::string wanted(name);
  if (wanted == "HidD_GetHidGuid") return fuzzhub::AsFarproc(&fuzzhub::FuzzGetHidGuid);
  if (wanted == "HidD_GetProductString") return fuzzhub::AsFarproc(&fuzzhub::FuzzGetProductString);
  if (wanted == "HidD_GetAttributes") return fuzzhub::AsFarproc(&fuzzhub::FuzzGetAttributes);
  if (wanted == "HidD_SetFeature") return fuzzhub::AsFarproc(&fuzzhub::FuzzSetFeature);
  if (wanted == "HidD_GetFeature") return fuzzhub::AsFarproc(&fuzzhub::FuzzGetFeature);
  if (wanted == "HidD_GetInputReport") return fuzzhub::AsFarproc(&fuzzhub::FuzzGetInputReport);
  world.last_error = ERROR_PROC_NOT_FOUND;
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
  return module == &fuzzhub::hid_module ? 1 : 0;
}

HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, const WCHAR* enumerator, HWND /*parent*/,
                              DWORD flags) {
  fuzzhub::CatchUp();
  if (class_guid == nullptr || !(*class_guid == fuzzhub::kHidGuid) || enumerator != nullptr ||
      flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {
    world.last_error = ERROR_INVALID_PARAMETER;
    return INVALID_HANDLE_VALUE;
  }
  // Now and then the system cannot build the set.
  if (fuzzhub::Next() >= 0xFC) {
    world.last_error = ERROR_GEN_FAILURE;
    return INVALID_HANDLE_VALUE;
  }
  world.sets.push_back({fuzzhub::Bus(), false});
  return &world.sets.back();
}

namespace {

fuzzhub::DeviceSet* FindSet(HDEVINFO set) {
  for (auto& s : world.sets)
    if (&s == set && !s.destroyed) return &s;
  return nullptr;
}

}  // namespace

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, void* /*device_info*/, const GUID* class_guid,
                                 DWORD member_index, SP_DEVICE_INTERFACE_DATA* interface_data) {
  auto* s = FindSet(set);
  if (s == nullptr || class_guid == nullptr || interface_data == nullptr) {
    world.last_error = ERROR_INVALID_PARAMETER;
    return 0;
  }
  if (interface_data->cbSize != kInterfaceDataSize) {
    world.last_error = ERROR_INVALID_USER_BUFFER;
    return 0;
  }
  if (member_index >= s->devices.size()) {
    world.last_error = ERROR_NO_MORE_ITEMS;
    return 0;
  }
  interface_data->InterfaceClassGuid = *class_guid;
  interface_data->Flags = 1;
  interface_data->Reserved = ULONG_PTR{member_index} + 1;
  return 1;
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interface_data,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD detail_size,
                                      DWORD* required_size, void* /*device_info*/) {
  auto* s = FindSet(set);
  if (s == nullptr || interface_data == nullptr || interface_data->Reserved == 0 ||
      interface_data->Reserved > s->devices.size()) {
    world.last_error = ERROR_INVALID_PARAMETER;
    return 0;
  }
  std::u16string path = s->devices[interface_data->Reserved - 1].path;
  auto needed = static_cast<DWORD>(kDevicePathOffset + (path.size() + 1) * sizeof(WCHAR));
  if (required_size != nullptr) *required_size = needed;
  if (detail == nullptr) {
    world.last_error = detail_size == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER;
    return 0;
  }
  if (detail->cbSize != kDetailDataFixedSize) {
    world.last_error = ERROR_INVALID_USER_BUFFER;
    return 0;
  }
  if (detail_size < needed) {
    world.last_error = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
  return 1;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  auto* s = FindSet(set);
  if (s == nullptr) {
    world.last_error = ERROR_INVALID_HANDLE;
    return 0;
  }
  s->destroyed = true;
  return 1;
}

HANDLE CreateFileW(const WCHAR* path, DWORD /*access*/, DWORD /*share*/, void* /*security*/,
                   DWORD /*disposition*/, DWORD /*flags*/, HANDLE /*template_file*/) {
  fuzzhub::CatchUp();
  std::u16string wanted(path);
  for (const auto& device : fuzzhub::Bus()) {
    if (wanted != device.path) continue;
    // Now and then another program holds the device.
    if (fuzzhub::Next() >= 0xFC) {
      world.last_error = ERROR_ACCESS_DENIED;
      return INVALID_HANDLE_VALUE;
    }
    world.handles.push_back({device.role, world.epoch, false});
    return &world.handles.back();
  }
  world.last_error = ERROR_FILE_NOT_FOUND;
  return INVALID_HANDLE_VALUE;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD to_read, DWORD* bytes_read, void* /*overlapped*/) {
  std::size_t got = 0;
  if (!fuzzhub::ReadInputReport(file, static_cast<std::uint8_t*>(buffer), to_read, &got)) return 0;
  if (bytes_read != nullptr) *bytes_read = static_cast<DWORD>(got);
  return 1;
}

BOOL WriteFile(HANDLE file, const void* /*buffer*/, DWORD to_write, DWORD* bytes_written,
               void* /*overlapped*/) {
  fuzzhub::Transfer();
  fuzzhub::Role role;
  if (!fuzzhub::Usable(file, &role)) return 0;
  if (role != fuzzhub::Role::HubCol02 || to_write < fuzzhub::kInputReport) {
    world.last_error = ERROR_INVALID_USER_BUFFER;
    return 0;
  }
  if (fuzzhub::Draw() != fuzzhub::Outcome::Taken) {
    world.last_error = ERROR_GEN_FAILURE;
    return 0;
  }
  // The collection's output report is 64 bytes: a longer write is cut.
  if (bytes_written != nullptr) *bytes_written = static_cast<DWORD>(fuzzhub::kInputReport);
  return 1;
}

BOOL CloseHandle(HANDLE handle) {
  fuzzhub::Handle* h = fuzzhub::Find(handle);
  if (h == nullptr) {
    world.last_error = ERROR_INVALID_HANDLE;
    return 0;
  }
  // Windows may have handed the value out again by then.
  fuzzcheck::Check(!h->closed, "the tool closed a handle twice");
  h->closed = true;
  return 1;
}

}  // namespace os
