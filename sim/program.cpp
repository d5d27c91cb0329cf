// sensorhub-sim: the tool on the simulated hub. The settings of the simulated
// world come from SENSORHUB_SIM_* variables (the tool itself reads none); the
// command line goes to the tool unchanged.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "driver/entry.h"
#include "platform/entry.h"
#include "sim/clock.h"
#include "sim/hub.h"

namespace {

std::optional<std::string> Setting(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

bool Fail(const std::string& message) {
  std::fprintf(stderr, "sensorhub-sim: %s\n", message.c_str());
  return false;
}

bool ParseNumber(const std::string& text, long low, long high, long* value) {
  char* end = nullptr;
  long parsed = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

// One fault: "set-fails:N[:CODE]", "get-fails:N[:CODE]", "vanish:N[:CODE]"
// (the Nth set or get, counted from 1, of any code or of CODE in hex), or a
// word: report-id-0, loader-never-appears, hub-never-returns,
// loader-busy-forever, no-hid-library, no-device-set:N, detail-fails:K,
// open-fails.
bool ParseFault(const std::string& item, sim::Options& options) {
  std::istringstream parts(item);
  std::string word, nth, code;
  std::getline(parts, word, ':');
  std::getline(parts, nth, ':');
  std::getline(parts, code, ':');
  long number = 0;
  if (word == "set-fails" || word == "get-fails" || word == "vanish") {
    sim::Fault fault;
    fault.kind = word == "set-fails"   ? sim::FaultKind::SetFails
                 : word == "get-fails" ? sim::FaultKind::GetFails
                                       : sim::FaultKind::Vanishes;
    if (!ParseNumber(nth, 1, 1000000, &number)) return Fail("fault " + item + ": N from 1 up");
    fault.nth = static_cast<int>(number);
    if (!code.empty()) {
      char* end = nullptr;
      fault.code = static_cast<int>(std::strtol(code.c_str(), &end, 16));
      if (*end != '\0' || fault.code < 0 || fault.code > 0xFF)
        return Fail("fault " + item + ": CODE is a hexadecimal byte");
    }
    options.faults.push_back(fault);
  } else if (word == "report-id-0") {
    options.refuse_report_id_2 = true;
  } else if (word == "loader-never-appears") {
    options.loader_never_appears = true;
  } else if (word == "hub-never-returns") {
    options.hub_never_returns = true;
  } else if (word == "loader-busy-forever") {
    options.stall = sim::Options::Stall::Begin;
  } else if (word == "no-hid-library") {
    options.hid_library_missing = true;
  } else if (word == "no-device-set" && ParseNumber(nth, 1, 1000000, &number)) {
    options.fail_class_devs = static_cast<int>(number);
  } else if (word == "detail-fails" && ParseNumber(nth, 0, 1000, &number)) {
    options.fail_detail_member = static_cast<int>(number);
  } else if (word == "open-fails") {
    options.fail_open_fragment = u"vid_4721";
  } else {
    return Fail("unknown fault '" + item + "' (see README)");
  }
  return true;
}

bool ReadSettings(sim::Options& options, sim::ClockMode& clock) {
  if (auto hub = Setting("SENSORHUB_SIM_HUB")) {
    if (*hub == "normal")
      options.mode = sim::Mode::Normal;
    else if (*hub == "dfu")
      options.mode = sim::Mode::Loader;
    else if (*hub == "absent")
      options.mode = sim::Mode::Gone;
    else
      return Fail("SENSORHUB_SIM_HUB is normal, dfu or absent");
  }
  if (auto mark = Setting("SENSORHUB_SIM_CALIBRATED")) {
    long value = 0;
    if (!ParseNumber(*mark, 0, 255, &value)) return Fail("SENSORHUB_SIM_CALIBRATED is 0 to 255");
    options.calibrated = static_cast<std::uint8_t>(value);
  }
  if (auto path = Setting("SENSORHUB_SIM_MEMORY")) {
    std::ifstream file(*path, std::ios::binary);
    sim::Memory memory{};
    file.read(reinterpret_cast<char*>(memory.data()), memory.size());
    if (!file || file.gcount() != static_cast<std::streamsize>(memory.size()) ||
        file.peek() != std::char_traits<char>::eof())
      return Fail("SENSORHUB_SIM_MEMORY must name a file of exactly 32768 bytes");
    options.memory = memory;
  }
  if (auto scenario = Setting("SENSORHUB_SIM_SCENARIO")) {
    if (*scenario == "pass")
      options.scenario = sim::Scenario::Pass;
    else if (*scenario == "light-fail")
      options.scenario = sim::Scenario::LightFail;
    else if (*scenario == "motion-fail")
      options.scenario = sim::Scenario::MotionFail;
    else
      return Fail("SENSORHUB_SIM_SCENARIO is pass, light-fail or motion-fail");
  }
  if (auto mode = Setting("SENSORHUB_SIM_CLOCK")) {
    if (*mode == "real")
      clock = sim::ClockMode::Real;
    else if (*mode == "virtual")
      clock = sim::ClockMode::Virtual;
    else
      return Fail("SENSORHUB_SIM_CLOCK is real or virtual");
  }
  if (auto faults = Setting("SENSORHUB_SIM_FAULT")) {
    std::istringstream items(*faults);
    std::string item;
    while (std::getline(items, item, ','))
      if (!item.empty() && !ParseFault(item, options)) return false;
  }
  return true;
}

}  // namespace

int ProgramMain(int argc, char16_t** argv) {
  sim::Options options;
  // A feature report costs about a quarter of a millisecond on a full-speed link.
  options.link_ms = 0.25;
  sim::ClockMode clock = sim::ClockMode::Real;
  if (!ReadSettings(options, clock)) return 2;

  sim::SetClockMode(clock);
  sim::Reset(std::move(options));
  int result = tool::wmain(argc, argv);

  if (auto path = Setting("SENSORHUB_SIM_DUMP")) {
    const auto& memory = sim::TheHub().memory();
    std::ofstream file(*path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(memory.data()), memory.size());
    if (!file) std::fprintf(stderr, "sensorhub-sim: cannot write %s\n", path->c_str());
  }
  return result;
}
