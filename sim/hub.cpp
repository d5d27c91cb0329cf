#include "sim/hub.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/clock.h"

namespace sim {

const os::GUID kHidGuid = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

namespace {

// Codes of the hub's protocol.
constexpr std::uint8_t kEnterDfu = 0x00, kStart = 0x01, kDfuBegin = 0x02, kDfuEnd = 0x03,
                       kDfuData = 0x04, kState10 = 0x0A, kState12 = 0x0C, kState14 = 0x0E,
                       kState16 = 0x10, kState18 = 0x12, kState19 = 0x13, kState20 = 0x14,
                       kStop = 0xFE;
constexpr std::uint8_t kSensorData = 0x83, kMemoryChunk = 0x84, kInfo = 0x85, kStatus = 0x86;
constexpr std::uint8_t kBusy = 2, kLoaderIdle = 2, kLoaderError = 4;
constexpr std::size_t kChunk = 60;

#define GUID_TEXT u"{4d1e55b2-f16f-11cf-88cb-001111000030}"
const std::u16string kMouse = u"\\\\?\\hid#vid_845e&pid_0001#1&2d595ca7&0&0000#" GUID_TEXT;
const std::u16string kKeyboard = u"\\\\?\\hid#vid_845e&pid_0002#1&2d595ca7&0&0001#" GUID_TEXT;
const std::u16string kHubKeyboard =
    u"\\\\?\\hid#vid_4721&pid_0800&mi_00#7&1f2e3d4c&0&0000#" GUID_TEXT;
const std::u16string kHubCol01 =
    u"\\\\?\\hid#vid_4721&pid_0800&mi_01&col01#7&3a4b5c6d&0&0000#" GUID_TEXT;
const std::u16string kHubCol02 =
    u"\\\\?\\hid#vid_4721&pid_0800&mi_01&col02#7&3a4b5c6d&0&0001#" GUID_TEXT;
const std::u16string kLoader = u"\\\\?\\hid#vid_4721&pid_df25#6&5e6f7a8b&0&0000#" GUID_TEXT;
const std::u16string kReceiver =
    u"\\\\?\\hid#vid_046d&pid_c52b&mi_02&col01#8&12ab34cd&0&0000#" GUID_TEXT;
#undef GUID_TEXT

void Put16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value & 0xFF);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

Memory FactoryMemory() {
  Memory memory{};
  // Loader below the firmware, firmware, then an uncalibrated calibration area
  // whose last four bytes hold the unit's serial number.
  for (std::size_t i = 0; i < kMemorySize; ++i)
    memory[i] = i < kFirmwareStart ? static_cast<std::uint8_t>(0xA5 ^ (i & 0xFF))
                                   : static_cast<std::uint8_t>((i * 7 + 3) & 0xFF);
  for (std::size_t i = kCalibrationStart; i < kMemorySize - 4; ++i) memory[i] = 0xFF;
  memory[0x7FFC] = 0x12;
  memory[0x7FFD] = 0x34;
  memory[0x7FFE] = 0x56;
  memory[0x7FFF] = 0x78;
  return memory;
}

Hub::Hub(Options options) : options_(std::move(options)), random_(options_.seed) {
  memory_ = options_.memory ? *options_.memory : FactoryMemory();
  if (options_.calibrated) {
    memory_[kMarkAddress] = *options_.calibrated;
    // A calibrated hub carries calibration data behind its mark.
    if (*options_.calibrated != 0xFF && !options_.memory)
      for (std::size_t i = kMarkAddress + 1; i < kMemorySize - 4; ++i)
        memory_[i] = static_cast<std::uint8_t>((i * 13 + 5) & 0xFF);
  }
  EnterMode(options_.appears_ms > 0 ? Mode::Gone : options_.mode);
  if (options_.appears_ms > 0) pending_ = {NowMs() + options_.appears_ms, options_.mode};
}

Mode Hub::mode() {
  CatchUp();
  return mode_;
}

void Hub::CatchUp() {
  if (pending_ && NowMs() >= pending_->first) {
    Mode next = pending_->second;
    pending_.reset();
    EnterMode(next);
  }
}

void Hub::EnterMode(Mode mode) {
  mode_ = mode;
  ++epoch_;
  status_ = 0;
  busy_left_ = 0;
  if (mode == Mode::Loader) {
    state_ = kLoaderIdle;
    phase_ = LoaderPhase::Idle;
    write_pointer_ = kFirmwareStart;
    download_complete_ = false;
  } else {
    state_ = options_.normal_state;
  }
}

void Hub::Vanish() {
  Mode was = mode_;
  EnterMode(Mode::Gone);
  if (options_.vanish_ms > 0) pending_ = {NowMs() + options_.vanish_ms, was};
}

std::vector<Hub::Device> Hub::Devices() const {
  std::vector<Device> devices;
  for (const auto& path : options_.extra_paths_first) devices.push_back({path, Role::Unrelated});
  if (options_.unrelated_devices) {
    devices.push_back({kMouse, Role::Unrelated});
    devices.push_back({kKeyboard, Role::Unrelated});
  }
  if (mode_ == Mode::Normal) {
    devices.push_back({kHubKeyboard, Role::HubKeyboard});
    devices.push_back({kHubCol01, Role::HubCol01});
    devices.push_back({kHubCol02, Role::HubCol02});
  } else if (mode_ == Mode::Loader) {
    devices.push_back({kLoader, Role::Loader});
  }
  if (options_.unrelated_devices) devices.push_back({kReceiver, Role::Unrelated});
  for (const auto& path : options_.extra_paths_last) devices.push_back({path, Role::Unrelated});
  return devices;
}

std::vector<std::u16string> Hub::Paths() {
  CatchUp();
  std::vector<std::u16string> paths;
  for (const auto& device : Devices()) paths.push_back(device.path);
  return paths;
}

os::HDEVINFO Hub::BuildSet() {
  bool builds = !options_.script || options_.script->SetBuilds();
  if (options_.fail_class_devs > 0 || !builds) {
    if (builds) --options_.fail_class_devs;
    os::SetLastError(os::ERROR_GEN_FAILURE);
    return os::INVALID_HANDLE_VALUE;
  }
  sets_.push_back(std::make_unique<DeviceSet>());
  sets_.back()->paths = Paths();
  ++counters_.sets_built;
  return sets_.back().get();
}

const std::vector<std::u16string>* Hub::FindSet(os::HDEVINFO set) const {
  for (const auto& s : sets_)
    if (s.get() == set && !s->destroyed) return &s->paths;
  return nullptr;
}

bool Hub::DestroySet(os::HDEVINFO set) {
  for (auto& s : sets_)
    if (s.get() == set && !s->destroyed) {
      s->destroyed = true;
      ++counters_.sets_destroyed;
      return true;
    }
  os::SetLastError(os::ERROR_INVALID_HANDLE);
  return false;
}

os::HANDLE Hub::Open(const char16_t* path) {
  CatchUp();
  std::u16string wanted(path);
  for (const auto& device : Devices()) {
    if (device.path != wanted) continue;
    if (!options_.fail_open_fragment.empty() &&
        wanted.find(options_.fail_open_fragment) != std::u16string::npos) {
      os::SetLastError(os::ERROR_ACCESS_DENIED);
      return os::INVALID_HANDLE_VALUE;
    }
    files_.push_back(std::make_unique<OpenFile>(OpenFile{device.role, wanted, epoch_}));
    counters_.opened_paths.push_back(wanted);
    return files_.back().get();
  }
  os::SetLastError(os::ERROR_FILE_NOT_FOUND);
  return os::INVALID_HANDLE_VALUE;
}

Hub::OpenFile* Hub::Find(os::HANDLE handle) {
  for (auto& file : files_) {
    if (file.get() != handle) continue;
    if (!file->closed) return file.get();
    ++counters_.closed_handle_uses;
  }
  return nullptr;
}

bool Hub::HandleIsOpen(os::HANDLE handle) const {
  for (const auto& file : files_)
    if (file.get() == handle) return !file->closed;
  return false;
}

int Hub::OpenHandles() const {
  return static_cast<int>(
      std::count_if(files_.begin(), files_.end(), [](const auto& f) { return !f->closed; }));
}

bool Hub::Close(os::HANDLE handle) {
  OpenFile* file = Find(handle);
  if (!file) {
    os::SetLastError(os::ERROR_INVALID_HANDLE);
    return false;
  }
  file->closed = true;
  return true;
}

// A handle stays usable while the device it was opened on is on the bus:
// a hub that left and came back is a new device to Windows.
bool Hub::Usable(const OpenFile* file, Role* role) {
  if (!file) {
    os::SetLastError(os::ERROR_INVALID_HANDLE);
    return false;
  }
  if (file->role != Role::Unrelated && file->epoch != epoch_) {
    os::SetLastError(os::ERROR_DEVICE_NOT_CONNECTED);
    return false;
  }
  *role = file->role;
  return true;
}

// A transfer that got through to the hub and fails there, or takes the hub
// off the bus with it. The caller's buffer is left as it was.
bool Hub::Refused(bool set, std::uint8_t code, const std::uint8_t* report) {
  Outcome outcome = Decide(set, code);
  if (outcome == Outcome::Taken) return false;
  Record(set, false, mode_, code, report);
  if (outcome == Outcome::Vanishes) {
    Vanish();
    os::SetLastError(os::ERROR_DEVICE_NOT_CONNECTED);
  } else {
    os::SetLastError(os::ERROR_GEN_FAILURE);
  }
  return true;
}

// The script's choice and the fault table together: a vanishing beats a failure.
Outcome Hub::Decide(bool set, std::uint8_t code) {
  Outcome chosen = options_.script ? options_.script->Decide(set) : Outcome::Taken;
  bool vanishes = set && Strikes(FaultKind::Vanishes, code);
  bool fails = Strikes(set ? FaultKind::SetFails : FaultKind::GetFails, code);
  if (chosen == Outcome::Vanishes || vanishes) return Outcome::Vanishes;
  if (chosen == Outcome::Fails || fails) return Outcome::Fails;
  return Outcome::Taken;
}

bool Hub::Strikes(FaultKind kind, std::uint8_t code) {
  bool strikes = false;
  for (std::size_t i = 0; i < options_.faults.size(); ++i) {
    const Fault& fault = options_.faults[i];
    if (fault.kind != kind || (fault.code >= 0 && fault.code != code)) continue;
    int seen = ++fault_seen_[i];
    if (seen >= fault.nth && (fault.count < 0 || seen < fault.nth + fault.count)) strikes = true;
  }
  return strikes;
}

void Hub::Transfer() {
  if (options_.script && options_.script->Leaves() && !left_for_good_) {
    left_for_good_ = true;
    pending_.reset();
    EnterMode(Mode::Gone);
  }
  if (++exchanges_ > options_.runaway_exchanges) {
    std::fprintf(stderr, "simulated hub: the tool is stuck after %llu exchanges\n",
                 static_cast<unsigned long long>(exchanges_ - 1));
    std::abort();
  }
  if (options_.link_ms <= 0) return;
  link_debt_ms_ += options_.link_ms;
  if (link_debt_ms_ >= 1) {
    auto whole = static_cast<std::uint64_t>(link_debt_ms_);
    link_debt_ms_ -= static_cast<double>(whole);
    AdvanceClock(whole);
  }
}

void Hub::Record(bool set, bool ok, Mode mode, std::uint8_t code, const std::uint8_t* bytes) {
  if (!options_.record_frames) return;
  Frame frame;
  frame.sequence = NextSequence();
  frame.time_ms = NowMs();
  frame.set = set;
  frame.ok = ok;
  frame.mode = mode;
  frame.code = code;
  std::memcpy(frame.bytes.data(), bytes, kReportSize);
  frames_.push_back(frame);
}

// Whether a feature report gets through to the hub: the handle's device is
// still on the bus, and Windows accepts the length and the report ID (it
// checks them against the collection's descriptor before anything is sent).
bool Hub::Passes(bool set, os::HANDLE handle, const std::uint8_t* report, std::size_t length) {
  Transfer();
  CatchUp();
  Role role;
  if (!Usable(Find(handle), &role)) {
    // Sent all the same: the record shows what the tool tried on a dead handle.
    if (length == kReportSize) Record(set, false, mode_, set ? report[1] : query_code_, report);
    return false;
  }
  std::uint8_t wanted_id = options_.refuse_report_id_2 ? 0 : 2;
  bool speaks = role == Role::HubCol02 || role == Role::Loader;
  if (speaks && length == kReportSize && report[0] == wanted_id) return true;
  os::SetLastError(os::ERROR_INVALID_PARAMETER);
  if (length == kReportSize) Record(set, false, mode_, set ? report[1] : query_code_, report);
  return false;
}

bool Hub::SetFeature(os::HANDLE handle, const std::uint8_t* report, std::size_t length) {
  if (options_.script) options_.script->Saw(true, report, length);
  if (!Passes(true, handle, report, length)) return false;
  std::uint8_t code = report[1];
  if (Refused(true, code, report)) return false;
  Record(true, true, mode_, code, report);
  if (IsQuery(code)) {
    query_code_ = code;
    query_index_ = static_cast<std::uint16_t>(report[2] | (report[3] << 8));
  } else {
    Command(code, report + 3, std::min<std::size_t>(report[2], kReportSize - 3));
  }
  return true;
}

bool Hub::GetFeature(os::HANDLE handle, std::uint8_t* report, std::size_t length) {
  if (options_.script) options_.script->Saw(false, report, length);
  if (!Passes(false, handle, report, length)) return false;
  if (Refused(false, query_code_, report)) return false;
  Reply(report);
  Record(false, true, mode_, query_code_, report);
  return true;
}

void Hub::Reply(std::uint8_t* report) {
  std::memset(report + 1, 0, kReportSize - 1);
  if (options_.script && options_.script->Answer(query_code_, report)) return;
  switch (query_code_) {
    case kStatus:
      if (busy_left_ != 0) {
        if (busy_left_ > 0) --busy_left_;
        report[1] = kBusy;
      } else {
        report[1] = status_;
      }
      report[2] = state_;
      break;
    case kSensorData:
      if (mode_ == Mode::Normal) {
        auto record = SensorRecord();
        std::memcpy(report + 4, record.data(), record.size());
      }
      break;
    case kMemoryChunk:
      if (mode_ == Mode::Normal)
        for (std::size_t i = 0; i < kChunk; ++i) {
          std::size_t address = std::size_t{query_index_} * kChunk + i;
          report[4 + i] = address < kMemorySize ? memory_[address] : 0xFF;
        }
      break;
    case kInfo: {
      // Firmware version 1.70, protocol 2, the serial number.
      static constexpr std::uint8_t kInfoBytes[12] = {'V', 'K', 1, 70, 2, 0, 0, 0, 0, 0, 0, 0};
      std::memcpy(report + 1, kInfoBytes, sizeof kInfoBytes);
      std::memcpy(report + 9, &memory_[0x7FFC], 4);
      break;
    }
    default:
      break;
  }
}

void Hub::Command(std::uint8_t code, const std::uint8_t* payload, std::size_t length) {
  if (mode_ == Mode::Loader) {
    LoaderCommand(code, payload, length);
    return;
  }
  auto limit = options_.ignore_commands.find(code);
  if (limit != options_.ignore_commands.end() && ignored_[code] < limit->second) {
    ++ignored_[code];
    return;
  }
  NormalCommand(code);
}

void Hub::NormalCommand(std::uint8_t code) {
  switch (code) {
    case kEnterDfu:
      EnterMode(Mode::Gone);
      if (!options_.loader_never_appears)
        pending_ = {NowMs() + options_.enter_dfu_ms, Mode::Loader};
      break;
    case kStart:
      state_ = 1;
      break;
    case kState10:
    case kState12:
    case kState14:
    case kState16:
    case kState19:
      state_ = code;
      break;
    case kState18:
      state_ = code;
      state18_since_ = NowMs();
      break;
    case kState20:
      WriteCalibration();
      state_ = code;
      break;
    case kStop:
      state_ = 0;
      break;
    default:
      break;
  }
}

void Hub::WriteCalibration() {
  // A fresh calibration: the mark, then the coefficients; the serial number in
  // the last four bytes stays.
  memory_[kMarkAddress] = 0xC8;
  for (std::size_t i = kMarkAddress + 1; i < kMemorySize - 4; ++i)
    memory_[i] = static_cast<std::uint8_t>((i * 31 + options_.seed) & 0xFF);
  writes_.push_back(
      {kMarkAddress, {memory_.begin() + kMarkAddress, memory_.begin() + kMemorySize - 4}, false});
}

void Hub::Busy(bool stall) {
  busy_left_ = stall ? -1 : options_.busy_polls;
}

void Hub::LoaderCommand(std::uint8_t code, const std::uint8_t* payload, std::size_t length) {
  switch (code) {
    case kDfuBegin:
      phase_ = LoaderPhase::Receiving;
      write_pointer_ = kFirmwareStart;
      download_complete_ = false;
      blocks_ = 0;
      status_ = options_.ready_status;
      state_ = options_.ready_state;
      Busy(options_.stall == Options::Stall::Begin);
      break;
    case kDfuData:
      if (phase_ != LoaderPhase::Receiving || write_pointer_ + length > kMemorySize) {
        status_ = kLoaderError;
        break;
      }
      std::memcpy(&memory_[write_pointer_], payload, length);
      writes_.push_back({write_pointer_, {payload, payload + length}, true});
      write_pointer_ += length;
      status_ = options_.block_status;
      ++blocks_;
      Busy(options_.stall == Options::Stall::Block && blocks_ >= options_.stall_block);
      break;
    case kDfuEnd:
      download_complete_ = phase_ == LoaderPhase::Receiving && write_pointer_ == kMemorySize;
      phase_ = LoaderPhase::Ended;
      status_ = 0;
      state_ = kLoaderIdle;
      Busy(options_.stall == Options::Stall::End);
      break;
    case kStart:
      // The loader starts the firmware only when a whole image came in; a
      // partial one keeps it in DFU mode, so the hub can always be rewritten.
      if (!download_complete_) break;
      ++downloads_completed_;
      EnterMode(Mode::Gone);
      if (!options_.hub_never_returns) pending_ = {NowMs() + options_.return_ms, Mode::Normal};
      break;
    default:
      break;
  }
}

Reading Hub::NextReading() {
  if (!options_.readings.empty()) {
    Reading reading = options_.readings.front();
    options_.readings.pop_front();
    return reading;
  }
  auto between = [this](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random_);
  };
  Reading r;
  bool fixture_on = state_ == 1 || state_ == 10 || state_ == 12;
  if (fixture_on) {
    r.lux = static_cast<std::uint16_t>(options_.scenario == Scenario::LightFail ? between(40, 60)
                                                                                : between(0, 4));
    r.proximity = 0;
  } else {
    r.lux = static_cast<std::uint16_t>(between(280, 320));
    r.proximity = static_cast<std::uint16_t>(between(70, 90));
  }
  r.acc_x = static_cast<std::int16_t>(
      options_.scenario == Scenario::MotionFail ? between(5000, 5200) : between(-120, 120));
  r.acc_y = static_cast<std::int16_t>(between(-120, 120));
  r.acc_z = static_cast<std::int16_t>(between(4036, 4156));
  r.gyr_x = static_cast<std::int16_t>(between(-6, 6));
  r.gyr_y = static_cast<std::int16_t>(between(-6, 6));
  r.gyr_z = static_cast<std::int16_t>(between(1, 6));
  return r;
}

std::array<std::uint8_t, 60> Hub::SensorRecord() {
  Reading r = NextReading();
  std::uint8_t level = 0;
  if (r.level) {
    level = *r.level;
  } else if (state_ == kState18) {
    std::uint64_t steps =
        (NowMs() - state18_since_) / std::max<std::uint32_t>(1, options_.level_step_ms);
    level = static_cast<std::uint8_t>(std::min<std::uint64_t>(3, steps));
  }
  std::array<std::uint8_t, 60> record{};
  Put16(&record[0], r.lux);
  Put16(&record[2], r.proximity);
  Put16(&record[4], static_cast<std::uint16_t>(r.acc_x));
  Put16(&record[6], static_cast<std::uint16_t>(r.acc_y));
  Put16(&record[8], static_cast<std::uint16_t>(r.acc_z));
  Put16(&record[10], static_cast<std::uint16_t>(r.gyr_x));
  Put16(&record[12], static_cast<std::uint16_t>(r.gyr_y));
  Put16(&record[14], static_cast<std::uint16_t>(r.gyr_z));
  record[16] = 25;  // die temperature, degrees Celsius
  record[28] = level;
  record[29] = mark();
  return record;
}

bool Hub::ReadInput(os::HANDLE handle, std::uint8_t* buffer, std::size_t length, std::size_t* got) {
  Transfer();
  CatchUp();
  Role role;
  if (!Usable(Find(handle), &role)) return false;
  constexpr std::size_t kInputReport = 64;
  if (role != Role::HubCol02 || length < kInputReport) {
    os::SetLastError(os::ERROR_INVALID_USER_BUFFER);
    return false;
  }
  if (options_.script && options_.script->Decide(false) != Outcome::Taken) {
    os::SetLastError(os::ERROR_GEN_FAILURE);
    return false;
  }
  // Input report 1: the live reading.
  auto record = SensorRecord();
  buffer[0] = 1;
  std::memcpy(buffer + 1, record.data(), record.size());
  std::memset(buffer + 1 + record.size(), 0, kInputReport - 1 - record.size());
  *got = kInputReport;
  ++counters_.input_reports;
  return true;
}

bool Hub::WriteOutput(os::HANDLE handle, const std::uint8_t* /*buffer*/, std::size_t length,
                      std::size_t* written) {
  CatchUp();
  Role role;
  if (!Usable(Find(handle), &role)) return false;
  constexpr std::size_t kOutputReport = 64;
  if (role != Role::HubCol02 || length < kOutputReport) {
    os::SetLastError(os::ERROR_INVALID_USER_BUFFER);
    return false;
  }
  // The collection's output report is 64 bytes: a longer write is cut.
  *written = kOutputReport;
  ++counters_.output_reports;
  return true;
}

namespace {
std::unique_ptr<Hub> the_hub;
}

Hub& TheHub() {
  if (!the_hub) the_hub = std::make_unique<Hub>(Options{});
  return *the_hub;
}

void Reset(Options options) {
  ResetClock();
  the_hub = std::make_unique<Hub>(std::move(options));
}

}  // namespace sim
