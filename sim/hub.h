// The simulated sensor hub, as the tool sees it through Windows: a set of HID
// device interfaces on a bus, feature reports of 131 bytes, a calibration state
// machine in normal mode, a loader in DFU mode, and mode changes that take time
// on the simulated clock. One model serves the tests and sensorhub-sim.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/api.h"

namespace sim {

constexpr std::size_t kMemorySize = 0x8000;
constexpr std::size_t kReportSize = 131;
constexpr std::uint16_t kFirmwareStart = 0x1000;
constexpr std::uint16_t kCalibrationStart = 0x7C00;
// The hub keeps its calibration mark in the first byte of its calibration area.
constexpr std::uint16_t kMarkAddress = kCalibrationStart;

using Memory = std::array<std::uint8_t, kMemorySize>;
using Report = std::array<std::uint8_t, kReportSize>;

// The hub's query codes; every other code is a command.
inline bool IsQuery(std::uint8_t code) {
  return code >= 0x83 && code <= 0x86;
}

// The HID interface class identifier {4D1E55B2-F16F-11CF-88CB-001111000030}.
extern const os::GUID kHidGuid;

enum class Mode { Normal, Loader, Gone };
enum class Scenario { Pass, LightFail, MotionFail };

// One reading as the hub reports it (the 60-byte record's interpreted fields).
struct Reading {
  std::uint16_t lux = 0;
  std::uint16_t proximity = 0;
  std::int16_t acc_x = 0, acc_y = 0, acc_z = 0;
  std::int16_t gyr_x = 0, gyr_y = 0, gyr_z = 0;
  std::optional<std::uint8_t> level;  // unset: the hub's own level
};

enum class FaultKind { SetFails, GetFails, Vanishes };

// Strikes the nth exchange of its kind (a set for SetFails and Vanishes, a get
// for GetFails) whose code matches, and `count` exchanges after it in a row
// (-1: all from then on). The code of a get is that of the query it answers.
struct Fault {
  FaultKind kind = FaultKind::SetFails;
  int nth = 1;
  int code = -1;  // -1: any code
  int count = 1;
};

// What becomes of a transfer that reaches the hub.
enum class Outcome { Taken, Fails, Vanishes };

// A source for the hub's free choices, for programs that explore them (the
// fuzzers): what becomes of each transfer, what the hub answers where a real
// hub may answer anything, when the system cannot list the bus, and when the
// hub leaves it for good. The hub's own model decides whatever a script leaves.
class Script {
 public:
  virtual ~Script() = default;
  // Every feature report set or got, as the tool hands it over.
  virtual void Saw(bool /*set*/, const std::uint8_t* /*report*/, std::size_t /*length*/) {}
  virtual Outcome Decide(bool /*set*/) { return Outcome::Taken; }
  // Writes the reply to a query into bytes 1 to 130 (cleared); false leaves
  // the hub's own reply.
  virtual bool Answer(std::uint8_t /*code*/, std::uint8_t* /*report*/) { return false; }
  virtual bool SetBuilds() { return true; }
  // Asked at every transfer: true once the hub is to leave the bus for good.
  virtual bool Leaves() { return false; }
};

struct Options {
  Script* script = nullptr;  // not owned; outlives the hub
  Mode mode = Mode::Normal;
  std::uint32_t appears_ms = 0;            // the hub is off the bus until then
  std::optional<Memory> memory;            // initial memory; a built-in pattern otherwise
  std::optional<std::uint8_t> calibrated;  // mark written at kMarkAddress
  Scenario scenario = Scenario::Pass;
  std::uint32_t seed = 1;

  std::uint32_t enter_dfu_ms = 1200;  // CMD_ENTER_DFU until the loader is on the bus
  std::uint32_t return_ms = 1800;     // loader's CMD_START until the hub is back
  std::uint32_t vanish_ms = 1500;     // a vanished device is back after this (0: never)
  int busy_polls = 2;                 // busy answers after each loader command
  std::uint32_t level_step_ms = 400;  // state 18: level rises by one each step
  double link_ms = 0;                 // virtual time each transfer takes
  bool record_frames = true;
  // A tool that keeps talking past this many exchanges is stuck: the model
  // stops the program rather than let a test hang.
  std::uint64_t runaway_exchanges = 50'000'000;

  // Faults.
  bool refuse_report_id_2 = false;  // the fallback with report ID 0 is then needed
  bool loader_never_appears = false;
  bool hub_never_returns = false;
  // A loader that answers busy for ever from one point of the download on.
  enum class Stall { None, Begin, Block, End };
  Stall stall = Stall::None;
  int stall_block = 1;  // Stall::Block: after this block (counted from 1)
  // What the loader answers once it is no longer busy: after CMD_DFU_BEGIN
  // (status, state) and after each block (status).
  std::uint8_t ready_status = 0, ready_state = 3, block_status = 0;
  std::map<int, int> ignore_commands;  // normal-mode command code -> how many to ignore
  std::uint8_t normal_state = 0;       // the state the hub reports on entering normal mode
  int fail_class_devs = 0;             // so many set builds fail, from the next
  int fail_detail_member = -1;         // the detail read of this member fails
  std::u16string fail_open_fragment;   // opening a path containing this fails
  bool hid_library_missing = false;
  std::set<std::string> missing_entry_points;
  std::vector<Fault> faults;
  std::deque<Reading> readings;   // served before the generated ones
  bool unrelated_devices = true;  // a mouse, a keyboard and a receiver share the bus
  // Paths put in front of / after the built-in devices of the bus.
  std::vector<std::u16string> extra_paths_first;
  std::vector<std::u16string> extra_paths_last;
};

// One feature report as the hub saw it.
struct Frame {
  std::uint64_t sequence = 0;
  std::uint64_t time_ms = 0;
  bool set = true;  // set to the device, or got from it
  bool ok = true;
  Mode mode = Mode::Normal;  // the mode of the device it went to
  std::uint8_t code = 0;     // command or query code (a get: the query answered)
  Report bytes{};            // as sent, or as returned to the caller
};

struct Counters {
  int library_frees = 0;
  std::vector<std::string> lookups;  // entry-point names, in order
  int sets_built = 0;
  int sets_destroyed = 0;
  std::vector<std::u16string> opened_paths;
  int output_reports = 0;
  int input_reports = 0;
  // What the last CreateFileW and LoadLibraryExW were asked for.
  os::DWORD open_access = 0, open_share = 0, open_disposition = 0, open_flags = 0;
  os::DWORD load_flags = 0;
  // Detail reads whose buffer size differed from the size the size query gave.
  int detail_size_mismatches = 0;
  // Calls made on a handle the tool had already closed.
  int closed_handle_uses = 0;
};

class Hub {
 public:
  explicit Hub(Options options);

  Options& options() { return options_; }
  Mode mode();  // brings the model up to the present first
  std::uint8_t status() const { return status_; }
  std::uint8_t state() const { return state_; }
  const Memory& memory() const { return memory_; }
  std::uint8_t mark() const { return memory_[kMarkAddress]; }
  const std::vector<Frame>& frames() const { return frames_; }
  Counters& counters() { return counters_; }
  // Every write into memory, in order: where, what, and whether the loader
  // made it (or the hub's own calibration).
  struct Write {
    std::size_t address;
    std::vector<std::uint8_t> bytes;
    bool by_loader;
  };
  const std::vector<Write>& writes() const { return writes_; }
  int downloads_completed() const { return downloads_completed_; }

  // The bus as SetupDi shows it now.
  std::vector<std::u16string> Paths();

  // The device calls of the os seam.
  os::HANDLE Open(const char16_t* path);
  bool Close(os::HANDLE handle);
  bool SetFeature(os::HANDLE handle, const std::uint8_t* report, std::size_t length);
  bool GetFeature(os::HANDLE handle, std::uint8_t* report, std::size_t length);
  bool ReadInput(os::HANDLE handle, std::uint8_t* buffer, std::size_t length, std::size_t* got);
  bool WriteOutput(os::HANDLE handle, const std::uint8_t* buffer, std::size_t length,
                   std::size_t* written);
  bool HandleIsOpen(os::HANDLE handle) const;
  int OpenHandles() const;

  // Device information sets: a snapshot of the bus that lives until destroyed.
  os::HDEVINFO BuildSet();
  const std::vector<std::u16string>* FindSet(os::HDEVINFO set) const;
  bool DestroySet(os::HDEVINFO set);

 private:
  enum class Role { Unrelated, HubKeyboard, HubCol01, HubCol02, Loader };
  struct Device {
    std::u16string path;
    Role role;
  };
  struct OpenFile {
    Role role;
    std::u16string path;
    std::uint64_t epoch;  // the hub's presence the handle belongs to
    bool closed = false;
  };
  enum class LoaderPhase { Idle, Receiving, Ended };

  void CatchUp();
  std::vector<Device> Devices() const;
  OpenFile* Find(os::HANDLE handle);
  bool Usable(const OpenFile* file, Role* role);
  bool Passes(bool set, os::HANDLE handle, const std::uint8_t* report, std::size_t length);
  bool Strikes(FaultKind kind, std::uint8_t code);
  Outcome Decide(bool set, std::uint8_t code);
  bool Refused(bool set, std::uint8_t code, const std::uint8_t* report);
  void Vanish();
  void EnterMode(Mode mode);
  void Record(bool set, bool ok, Mode mode, std::uint8_t code, const std::uint8_t* bytes);
  void Transfer();

  void Command(std::uint8_t code, const std::uint8_t* payload, std::size_t length);
  void NormalCommand(std::uint8_t code);
  void LoaderCommand(std::uint8_t code, const std::uint8_t* payload, std::size_t length);
  void Reply(std::uint8_t* report);
  void WriteCalibration();
  void Busy(bool stall);
  Reading NextReading();
  // A reading record as a QRY_SENSOR_DATA reply carries it.
  std::array<std::uint8_t, 60> SensorRecord();

  Options options_;
  Memory memory_{};
  Mode mode_ = Mode::Normal;
  std::uint64_t epoch_ = 1;
  std::optional<std::pair<std::uint64_t, Mode>> pending_;  // (due time, mode)
  std::uint8_t status_ = 0;
  std::uint8_t state_ = 0;
  std::uint64_t state18_since_ = 0;
  int busy_left_ = 0;
  LoaderPhase phase_ = LoaderPhase::Idle;
  int blocks_ = 0;
  std::size_t write_pointer_ = kFirmwareStart;
  bool download_complete_ = false;
  int downloads_completed_ = 0;
  std::uint8_t query_code_ = 0;
  std::uint16_t query_index_ = 0;
  std::map<std::size_t, int> fault_seen_;  // fault index -> matching exchanges so far
  std::map<int, int> ignored_;
  std::vector<Frame> frames_;
  Counters counters_;
  std::vector<Write> writes_;
  std::vector<std::unique_ptr<OpenFile>> files_;
  struct DeviceSet {
    std::vector<std::u16string> paths;
    bool destroyed = false;
  };
  std::vector<std::unique_ptr<DeviceSet>> sets_;
  std::mt19937 random_;
  double link_debt_ms_ = 0;
  std::uint64_t exchanges_ = 0;
  bool left_for_good_ = false;
};

// The one hub of the simulated world, behind the sim devices backend.
Hub& TheHub();
// A new hub on a new bus; the clock starts again at 0.
void Reset(Options options = {});

// The built-in memory of a hub that has never been updated.
Memory FactoryMemory();

}  // namespace sim
