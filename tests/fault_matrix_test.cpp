// One fault at each exchange of a run, of each kind, for the three runs that
// write to the hub. Whatever strikes, the run ends, success is told only when
// the hub holds what was staged, a calibration survives or is erased as meant,
// and nothing outside the firmware region is ever written.
#include <cstdio>
#include <map>

#include <gtest/gtest.h>

#include "protocol/frames.h"
#include "tests/world.h"

namespace {

enum class RunKind { Keep, Full, Erase };

struct Plan {
  const char* name;
  RunKind kind;
};

// The endings a run can have, by what it told last.
std::string Ending() {
  const std::string& out = world::Stdout();
  for (const char* text : {"Update Completed", "Update Failed", "Enter DFU Mode Failed",
                           "Read Device Failed", "Can not found HID Sensor Device"})
    if (out.find(text) != std::string::npos) return text;
  const auto& boxes = script::Boxes();
  if (!boxes.empty())
    return "box: " + std::string(boxes.back().caption.begin(), boxes.back().caption.end());
  return "nothing told";
}

class FaultMatrix : public ::testing::TestWithParam<Plan> {
 protected:
  sim::Options Options() const {
    sim::Options options;
    options.link_ms = 0.25;  // time moves on with every transfer, as on a real link
    if (GetParam().kind != RunKind::Full) options.calibrated = 200;
    return options;
  }

  int Run(sim::Options options) {
    world::Reset(std::move(options));
    before_ = sim::TheHub().memory();
    if (GetParam().kind == RunKind::Erase) return world::RunTool();
    return world::RunTool({image_path_});
  }

  // What the download region must hold once the run says it is done.
  sim::Memory Staged() const {
    sim::Memory staged = before_;
    switch (GetParam().kind) {
      case RunKind::Full:
        std::copy(image_.begin(), image_.begin() + 0x7000, staged.begin() + 0x1000);
        break;
      case RunKind::Keep:
        std::copy(image_.begin(), image_.begin() + 0x6C00, staged.begin() + 0x1000);
        break;
      case RunKind::Erase:
        std::fill(staged.begin() + 0x7C00, staged.begin() + 0x7FFC, 0xFF);
        break;
    }
    return staged;
  }

  void CheckInvariants(const std::string& fault) {
    SCOPED_TRACE(fault);
    const auto& hub = sim::TheHub();
    const sim::Memory staged = Staged();
    std::string ending = Ending();

    if (ending == "Update Completed") {
      EXPECT_TRUE(
          std::equal(hub.memory().begin() + 0x1000, hub.memory().end(), staged.begin() + 0x1000));
    }

    for (const auto& write : hub.writes()) {
      if (!write.by_loader) continue;  // the hub's own new calibration
      EXPECT_GE(write.address, 0x1000u);
      EXPECT_LE(write.address + write.bytes.size(), 0x8000u);
      // A calibrated hub's calibration area gets only its read-back bytes
      // (Keep) or the erase pattern (Erase).
      if (GetParam().kind == RunKind::Full) continue;
      int foreign = 0;
      for (std::size_t i = 0; i < write.bytes.size(); ++i)
        if (write.address + i >= 0x7C00 && write.bytes[i] != staged[write.address + i]) ++foreign;
      EXPECT_EQ(foreign, 0) << "at " << write.address;
    }
    ++endings_[ending];
  }

  void SetUp() override {
    image_ = world::PatternImage();
    image_path_ = world::WriteImageFile(image_);
  }

  void TearDown() override {
    std::printf("%s: %d faults;", GetParam().name, tried_);
    for (const auto& [ending, count] : endings_) std::printf(" %s %d;", ending.c_str(), count);
    std::printf("\n");
  }

  std::vector<std::uint8_t> image_;
  std::u16string image_path_;
  sim::Memory before_{};
  std::map<std::string, int> endings_;
  int tried_ = 0;
};

TEST_P(FaultMatrix, EveryExchangeEveryKind) {
  // A clean run first, to count its exchanges.
  EXPECT_EQ(Run(Options()), 0);
  CheckInvariants("no fault");
  int sets = 0, gets = 0;
  for (const auto& frame : sim::TheHub().frames()) (frame.set ? sets : gets)++;
  ASSERT_GT(sets, 0);

  for (auto kind : {sim::FaultKind::SetFails, sim::FaultKind::Vanishes, sim::FaultKind::GetFails}) {
    int count = kind == sim::FaultKind::GetFails ? gets : sets;
    for (int nth = 1; nth <= count; ++nth) {
      sim::Options options = Options();
      options.record_frames = false;
      options.faults = {{kind, nth}};
      EXPECT_EQ(Run(options), 0);
      ++tried_;
      CheckInvariants(std::string(kind == sim::FaultKind::SetFails   ? "set fails"
                                  : kind == sim::FaultKind::Vanishes ? "vanishes"
                                                                     : "get fails") +
                      " at " + std::to_string(nth));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Runs, FaultMatrix,
                         ::testing::Values(Plan{"Keep", RunKind::Keep}, Plan{"Full", RunKind::Full},
                                           Plan{"Erase", RunKind::Erase}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
