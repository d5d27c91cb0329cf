#include "protocol/dfu.h"

#include <functional>

#include <gtest/gtest.h>

#include "protocol/device_image.h"
#include "protocol/frames.h"
#include "tests/world.h"

namespace {

os::HANDLE OpenLoader(sim::Options options = {}) {
  options.mode = sim::Mode::Loader;
  os::HANDLE loader = world::OpenHub(std::move(options));
  for (std::size_t i = 0; i < DEVICE_IMAGE_SIZE; ++i)
    DeviceImage[i] = static_cast<std::uint8_t>((i * 29 + 17) & 0xFF);
  return loader;
}

int OkSets(std::uint8_t code) {
  int count = 0;
  for (const auto& frame : world::SetFrames())
    if (frame.code == code && frame.ok) ++count;
  return count;
}

TEST(DfuDownload, SendsTheDownloadRegionAndStartsTheFirmware) {
  os::HANDLE loader = OpenLoader();
  sim::Memory before = sim::TheHub().memory();
  EXPECT_EQ(DfuDownload(loader), 1);

  EXPECT_EQ(world::Stdout(), world::Progress(448));
  const auto& memory = sim::TheHub().memory();
  EXPECT_TRUE(std::equal(memory.begin() + 0x1000, memory.end(), DeviceImage + 0x1000));
  EXPECT_TRUE(std::equal(memory.begin(), memory.begin() + 0x1000, before.begin()));
  auto sets = world::SetFrames();
  EXPECT_EQ(sets.front().code, code::QRY_STATUS);
  EXPECT_EQ(sets[1].code, code::CMD_DFU_BEGIN);
  EXPECT_EQ(sets.back().code, code::CMD_START);
  EXPECT_EQ(OkSets(code::CMD_DFU_DATA), 448);
  EXPECT_EQ(OkSets(code::CMD_DFU_END), 1);
  // The new firmware starts: the loader leaves and the hub comes back.
  EXPECT_EQ(sim::TheHub().mode(), sim::Mode::Gone);
  sim::AdvanceClock(2000);
  EXPECT_EQ(sim::TheHub().mode(), sim::Mode::Normal);
}

TEST(DfuDownload, InvalidHandleMakesNoTraffic) {
  OpenLoader();
  EXPECT_EQ(DfuDownload(os::INVALID_HANDLE_VALUE), 0);
  EXPECT_TRUE(sim::TheHub().frames().empty());
  EXPECT_EQ(world::Stdout(), "");
}

struct FailureCase {
  const char* name;
  std::function<void(sim::Options&)> setup;
  int result;
  int blocks_taken;  // data sets the loader took
  int progress;      // progress texts printed
  int ends;          // CMD_DFU_END sets
  bool started;      // CMD_START sent
};

void Fault(sim::Options& o, sim::FaultKind kind, int nth, int code, int count = 1) {
  o.faults.push_back({kind, nth, code, count});
}

// Status polls, with two busy answers after each loader command: one before
// CMD_DFU_BEGIN, three after it, three after each block.
constexpr int kFirstClosingPoll = 1 + 3 + 448 * 3 + 1;

class DownloadFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(DownloadFailure, EndsAsTheHandshakeSays) {
  const FailureCase& c = GetParam();
  sim::Options options;
  c.setup(options);
  os::HANDLE loader = OpenLoader(options);
  EXPECT_EQ(DfuDownload(loader), c.result);
  EXPECT_EQ(OkSets(code::CMD_DFU_DATA), c.blocks_taken);
  EXPECT_EQ(world::Stdout(), world::Progress(c.progress));
  EXPECT_EQ(world::CountSets(code::CMD_DFU_END) > 0 ? OkSets(code::CMD_DFU_END) : 0, c.ends);
  EXPECT_EQ(world::CountSets(code::CMD_START) > 0, c.started);
}

using K = sim::FaultKind;
INSTANTIATE_TEST_SUITE_P(
    Table, DownloadFailure,
    ::testing::Values(
        FailureCase{"FirstStatusFails", [](auto& o) { Fault(o, K::GetFails, 1, code::QRY_STATUS); },
                    0, 0, 0, 0, false},
        FailureCase{"BeginFails", [](auto& o) { Fault(o, K::SetFails, 1, code::CMD_DFU_BEGIN, 2); },
                    0, 0, 0, 0, false},
        FailureCase{"PollAfterBeginFails",
                    [](auto& o) { Fault(o, K::GetFails, 3, code::QRY_STATUS); }, 0, 0, 0, 0, false},
        FailureCase{"ReadyStateWithStatus1", [](auto& o) { o.ready_status = 1; }, 0, 0, 0, 0,
                    false},
        FailureCase{"StatusZeroButState4", [](auto& o) { o.ready_state = 4; }, 0, 0, 0, 0, false},
        FailureCase{"TenthBlockFails",
                    [](auto& o) { Fault(o, K::SetFails, 10, code::CMD_DFU_DATA, 2); }, 0, 9, 9, 1,
                    false},
        FailureCase{"PollAfterABlockFails",
                    [](auto& o) { Fault(o, K::GetFails, 6, code::QRY_STATUS); }, 0, 1, 0, 0, false},
        FailureCase{"ClosingEndFails",
                    [](auto& o) { Fault(o, K::SetFails, 1, code::CMD_DFU_END, 2); }, 1, 448, 448, 0,
                    true},
        FailureCase{"ClosingPollFails",
                    [](auto& o) { Fault(o, K::GetFails, kFirstClosingPoll, code::QRY_STATUS); }, 1,
                    448, 448, 1, true},
        FailureCase{"StartFails", [](auto& o) { Fault(o, K::SetFails, 1, code::CMD_START, 2); }, 1,
                    448, 448, 1, true},
        FailureCase{"Status5AfterBlocksMeansTaken", [](auto& o) { o.block_status = 5; }, 1, 448,
                    448, 1, true},
        // A loader busy without a break for 10 s counts as a failed poll.
        FailureCase{"BusyForeverAfterBegin",
                    [](auto& o) {
                      o.stall = sim::Options::Stall::Begin;
                      o.link_ms = 1;
                    },
                    0, 0, 0, 0, false},
        FailureCase{"BusyForeverAfterThirdBlock",
                    [](auto& o) {
                      o.stall = sim::Options::Stall::Block;
                      o.stall_block = 3;
                      o.link_ms = 1;
                    },
                    0, 3, 2, 0, false},
        FailureCase{"BusyForeverWhileClosing",
                    [](auto& o) {
                      o.stall = sim::Options::Stall::End;
                      o.link_ms = 1;
                    },
                    1, 448, 448, 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DfuDownload, GivesUpOnABusyLoaderAfterTenSeconds) {
  sim::Options options;
  options.stall = sim::Options::Stall::Begin;
  options.link_ms = 1;
  os::HANDLE loader = OpenLoader(options);
  EXPECT_EQ(DfuDownload(loader), 0);
  EXPECT_GE(sim::NowMs(), DFU_BUSY_LIMIT_MS);
  EXPECT_LT(sim::NowMs(), DFU_BUSY_LIMIT_MS + 20);
}

}  // namespace
