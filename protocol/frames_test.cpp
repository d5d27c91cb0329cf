#include "protocol/frames.h"

#include <functional>

#include <gtest/gtest.h>

#include "hid/transport.h"
#include "protocol/reads.h"
#include "tests/world.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A whole frame: these leading bytes, then zeros to byte 130.
sim::Report Frame(const Bytes& start) {
  sim::Report frame{};
  std::copy(start.begin(), start.end(), frame.begin());
  return frame;
}

Bytes Block64() {
  Bytes block(64);
  for (int i = 0; i < 64; ++i) block[i] = static_cast<std::uint8_t>(0xC0 + i);
  return block;
}

struct FrameCase {
  const char* name;
  std::function<void(os::HANDLE)> send;
  Bytes start;
};

class FrameBytes : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameBytes, GoOutExactlyAndCleared) {
  os::HANDLE hub = world::OpenHub();
  GetParam().send(hub);
  auto sets = world::SetFrames();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].bytes, Frame(GetParam().start));
}

Bytes DataFrameStart() {
  Bytes start{0x02, 0x04, 0x40};
  Bytes block = Block64();
  start.insert(start.end(), block.begin(), block.end());
  return start;
}

std::uint8_t reply[130];
SensorData record;

INSTANTIATE_TEST_SUITE_P(
    Table, FrameBytes,
    ::testing::Values(
        FrameCase{"Start", [](os::HANDLE h) { CMD_START(h); }, {0x02, 0x01, 0x01}},
        FrameCase{"EnterDfu", [](os::HANDLE h) { CMD_ENTER_DFU(h); }, {0x02, 0x00, 0x01, 0x00}},
        FrameCase{"DataBlock",
                  [](os::HANDLE h) {
                    Bytes block = Block64();
                    CMD_DFU_DATA(h, block.data(), 64);
                  },
                  DataFrameStart()},
        FrameCase{"LengthZero",
                  [](os::HANDLE h) { SendCommand(h, 0x13, 0, nullptr); },
                  {0x02, 0x13, 0x00}},
        FrameCase{"Status",
                  [](os::HANDLE h) { QueryCommand(h, code::QRY_STATUS, 2, reply); },
                  {0x02, 0x86, 0x02}},
        FrameCase{"MemoryChunk546",
                  [](os::HANDLE h) { QueryIndexed(h, code::QRY_MEMORY, 546, 8, reply); },
                  {0x02, 0x84, 0x22, 0x02}},
        FrameCase{"SensorData",
                  [](os::HANDLE h) { ReadSensorData(h, &record); },
                  {0x02, 0x83, 0x00, 0x00}},
        FrameCase{"Info", [](os::HANDLE h) { QueryInfo(h, reply); }, {0x02, 0x85, 0x0C}},
        FrameCase{"DfuBegin", [](os::HANDLE h) { CMD_DFU_BEGIN(h); }, {0x02, 0x02, 0x01}},
        FrameCase{"DfuEnd", [](os::HANDLE h) { CMD_DFU_END(h); }, {0x02, 0x03, 0x01}},
        FrameCase{"State10", [](os::HANDLE h) { CMD_STATE_10(h); }, {0x02, 0x0A, 0x01}},
        FrameCase{"State12", [](os::HANDLE h) { CMD_STATE_12(h); }, {0x02, 0x0C, 0x01}},
        FrameCase{"State14", [](os::HANDLE h) { CMD_STATE_14(h); }, {0x02, 0x0E, 0x01}},
        FrameCase{"State16", [](os::HANDLE h) { CMD_STATE_16(h); }, {0x02, 0x10, 0x01}},
        FrameCase{"State18", [](os::HANDLE h) { CMD_STATE_18(h); }, {0x02, 0x12, 0x01}},
        FrameCase{"State19", [](os::HANDLE h) { CMD_STATE_19(h); }, {0x02, 0x13, 0x01}},
        FrameCase{"State20", [](os::HANDLE h) { CMD_STATE_20(h); }, {0x02, 0x14, 0x01}},
        FrameCase{"Stop", [](os::HANDLE h) { CMD_STOP(h); }, {0x02, 0xFE, 0x01}}),
    [](const auto& info) { return std::string(info.param.name); });

sim::Options FirstSetsFail(int count, int code = -1) {
  sim::Options options;
  options.faults = {{sim::FaultKind::SetFails, 1, code, count}};
  return options;
}

TEST(SendCommand, FallsBackToReportIdZeroOnce) {
  sim::Options options;
  options.refuse_report_id_2 = true;  // the hub answers report ID 0 only
  os::HANDLE hub = world::OpenHub(options);
  EXPECT_EQ(CMD_START(hub), IO_OK);
  auto sets = world::SetFrames();
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0].bytes, Frame({0x02, 0x01, 0x01}));
  EXPECT_EQ(sets[1].bytes, Frame({0x00, 0x01, 0x01}));
  EXPECT_EQ(sim::TheHub().state(), 1);
}

TEST(SendCommand, FailsOnlyWhenBothAttemptsFailAndTriesNoThird) {
  os::HANDLE hub = world::OpenHub(FirstSetsFail(3));
  EXPECT_EQ(CMD_STOP(hub), IO_FAILED);
  EXPECT_EQ(world::SetFrames().size(), 2u);
}

TEST(Queries, OfNoReplyBytesNeedNoReplyBuffer) {
  os::HANDLE hub = world::OpenHub();
  EXPECT_EQ(QueryCommand(hub, code::QRY_STATUS, 0, nullptr), IO_OK);
  EXPECT_EQ(QueryIndexed(hub, code::QRY_MEMORY, 0, 0, nullptr), IO_OK);
}

TEST(SendCommand, RefusesLengthsBeyondTheFrameWithoutSending) {
  os::HANDLE hub = world::OpenHub();
  std::uint8_t big[200] = {};
  EXPECT_EQ(SendCommand(hub, code::CMD_DFU_DATA, 129, big), IO_FAILED);
  EXPECT_EQ(QueryCommand(hub, code::QRY_INFO, 131, big), IO_FAILED);
  EXPECT_EQ(QueryIndexed(hub, code::QRY_MEMORY, 0, 128, big), IO_FAILED);
  EXPECT_TRUE(world::SetFrames().empty());
}

TEST(QueryCommand, AfterAFailedSetAsksWithReportIdZeroEvenWhenTheFallbackFailed) {
  os::HANDLE hub = world::OpenHub(FirstSetsFail(2));
  std::uint8_t status_reply[2] = {};
  QueryCommand(hub, code::QRY_STATUS, 2, status_reply);
  const auto& frames = sim::TheHub().frames();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[1].bytes[0], 0x00);
  EXPECT_FALSE(frames[2].set);
  EXPECT_EQ(frames[2].bytes[0], 0x00);  // the get, with report ID 0
}

TEST(QueryIndexed, HasNoFallbackAndAFailedSetFailsThoughTheGetSucceeds) {
  os::HANDLE hub = world::OpenHub();
  std::uint8_t chunk[60];
  ASSERT_EQ(QueryIndexed(hub, code::QRY_MEMORY, 0, 60, chunk), IO_OK);
  sim::TheHub().options().faults = {{sim::FaultKind::SetFails, 1}};
  // The hub still answers its last request, chunk 0, not chunk 1.
  EXPECT_EQ(QueryIndexed(hub, code::QRY_MEMORY, 1, 60, chunk), IO_FAILED);
  EXPECT_EQ(chunk[0], sim::TheHub().memory()[0]);
  EXPECT_EQ(world::SetFrames().size(), 2u);
  EXPECT_EQ(sim::TheHub().frames().back().set, false);  // the get was made
}

TEST(QueryCommand, FailsWhenNeitherSetWentThrough) {
  os::HANDLE hub = world::OpenHub(FirstSetsFail(1));
  std::uint8_t status_reply[2];
  EXPECT_EQ(QueryCommand(hub, code::QRY_STATUS, 2, status_reply), IO_FAILED);
}

TEST(QueryCommand, SucceedsWhenTheFallbackSetWentThrough) {
  sim::Options options;
  options.refuse_report_id_2 = true;
  os::HANDLE hub = world::OpenHub(options);
  std::uint8_t status_reply[2] = {0xEE, 0xEE};
  EXPECT_EQ(QueryCommand(hub, code::QRY_STATUS, 2, status_reply), IO_OK);
  EXPECT_EQ(status_reply[0], 0);
}

TEST(FailedGet, HandsOnTheFrameAsItStands) {
  sim::Options options;
  options.faults = {{sim::FaultKind::GetFails, 1, -1, -1}};
  os::HANDLE hub = world::OpenHub(options);

  std::uint8_t status = 0, state = 0;
  EXPECT_EQ(QueryStatus(hub, &status, &state), IO_FAILED);
  EXPECT_EQ(status, 0x86);
  EXPECT_EQ(state, 0x02);
  EXPECT_EQ(QueryStatusOnly(hub), 0x86);
  EXPECT_EQ(QueryStateOnly(hub), 0x02);

  // Bytes the request never set go out, and come back, as 0.
  std::uint8_t info[12];
  std::fill(std::begin(info), std::end(info), 0xEE);
  EXPECT_EQ(QueryInfo(hub, info), IO_FAILED);
  EXPECT_EQ(Bytes(info, info + 12), Bytes({0x85, 0x0C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  std::uint8_t chunk[60];
  std::fill(std::begin(chunk), std::end(chunk), 0xEE);
  EXPECT_EQ(QueryIndexed(hub, code::QRY_MEMORY, 7, 60, chunk), IO_FAILED);
  EXPECT_EQ(Bytes(chunk, chunk + 60), Bytes(60, 0));
}

}  // namespace
