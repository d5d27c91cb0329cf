#include "fuzz/hub.h"

#include <array>
#include <cstring>

#include "fuzz/check.h"
#include "sim/clock.h"

namespace fuzzhub {
namespace {

constexpr std::size_t kReportSize = sim::kReportSize;
constexpr std::uint8_t kSensorData = 0x83, kMemoryChunk = 0x84, kInfo = 0x85, kStatus = 0x86;
constexpr std::uint8_t kBusy = 2;
// A tool still talking this long after the hub left for good never gives up.
constexpr std::uint64_t kRunawayTransfers = 200000;

// What the tool may put in a frame: report ID 2 or 0, and nothing beyond
// the payload it means to send.
void CheckFrame(bool set, const std::uint8_t* report, std::size_t length) {
  fuzzcheck::Check(length == kReportSize, "a feature report of another length than 131");
  fuzzcheck::Check(report[0] == 2 || report[0] == 0, "a report ID other than 2 or 0");
  if (!set) return;
  std::uint8_t code = report[1];
  std::size_t used = 3 + report[2];
  if (code == kSensorData || code == kMemoryChunk) used = 4;  // code and a 16-bit index
  if (code == kInfo || code == kStatus) used = 3;             // code and a reply length
  fuzzcheck::Check(used <= kReportSize, "a command whose payload runs past the frame");
  for (std::size_t i = used; i < kReportSize; ++i)
    fuzzcheck::Check(report[i] == 0, "a frame with bytes beyond its payload");
}

class InputScript : public sim::Script {
 public:
  void Begin(const std::uint8_t* data, std::size_t size, const Setup& setup) {
    data_ = data;
    size_ = size;
    at_ = 0;
    setup_ = setup;
    transfers_ = 0;
    last_record_ = {};
  }

  std::uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }
  bool InputLeft() const { return at_ < size_; }

  void Saw(bool set, const std::uint8_t* report, std::size_t length) override {
    ++transfers_;
    CheckFrame(set, report, length);
  }

  sim::Outcome Decide(bool /*set*/) override {
    if (setup_.replies == Replies::Model) {
      for (const auto& at : setup_.faults)
        if (at.transfer == transfers_)
          return at.fault == Fault::Vanishes ? sim::Outcome::Vanishes : sim::Outcome::Fails;
      return sim::Outcome::Taken;
    }
    std::uint8_t b = Next();
    if (b == 0xFF) return sim::Outcome::Vanishes;
    if (b >= 0xF0) return sim::Outcome::Fails;
    return sim::Outcome::Taken;
  }

  bool Answer(std::uint8_t code, std::uint8_t* report) override {
    if (setup_.replies == Replies::Raw) {
      FillFromInput(report + 1, kReportSize - 1);
      return true;
    }
    sim::Hub& hub = sim::TheHub();
    bool normal = hub.mode() == Mode::Normal;
    if (code == kStatus) {
      std::uint8_t b = normal ? 0xFF : Next();
      if (b < 0xC0) return false;  // the loader's own status and state
      report[1] = b < 0xF0 ? kBusy : Next();
      report[2] = b < 0xF0 ? hub.state() : Next();
      return true;
    }
    if (code == kSensorData && normal) {
      std::array<std::uint8_t, 60> record{};
      if (Next() % 2 == 0)
        FillFromInput(record.data(), record.size());
      else
        record = last_record_;
      // The mark is the hub's own: what its calibration area holds.
      record[29] = hub.mark();
      last_record_ = record;
      std::memcpy(report + 4, record.data(), record.size());
      return true;
    }
    return false;  // memory, information: the hub's own
  }

  // Now and then the system cannot build the set.
  bool SetBuilds() override { return Next() < 0xFC; }

  bool Leaves() override { return transfers_ > setup_.budget; }

 private:
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

  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t at_ = 0;
  Setup setup_;
  std::uint32_t transfers_ = 0;
  std::array<std::uint8_t, 60> last_record_{};
};

InputScript script;
sim::Memory initial{};

}  // namespace

void Start(const std::uint8_t* data, std::size_t size, const Setup& setup) {
  script.Begin(data, size, setup);
  sim::Options options;
  options.script = &script;
  options.mode = setup.mode;
  options.calibrated = setup.mark;
  options.loader_never_appears = setup.enter_ms == kNever;
  options.enter_dfu_ms = setup.enter_ms;
  options.hub_never_returns = setup.return_ms == kNever;
  options.return_ms = setup.return_ms;
  options.vanish_ms = setup.vanish_ms == kNever ? 0 : setup.vanish_ms;
  options.busy_polls = 0;  // busy answers come from the input
  options.link_ms = 1;
  options.runaway_exchanges = setup.budget + kRunawayTransfers;
  sim::SetClockMode(sim::ClockMode::Virtual);
  sim::Reset(std::move(options));
  initial = sim::TheHub().memory();
}

std::uint8_t Next() {
  return script.Next();
}
bool InputLeft() {
  return script.InputLeft();
}
const std::vector<Exchange>& Exchanges() {
  return sim::TheHub().frames();
}
const sim::Memory& InitialMemory() {
  return initial;
}
const sim::Memory& HubMemory() {
  return sim::TheHub().memory();
}
int DownloadsCompleted() {
  return sim::TheHub().downloads_completed();
}
int OpenHandles() {
  return sim::TheHub().OpenHandles();
}
int ClosedHandleUses() {
  return sim::TheHub().counters().closed_handle_uses;
}

}  // namespace fuzzhub
