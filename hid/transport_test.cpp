#include "hid/transport.h"

#include <gtest/gtest.h>

#include "tests/world.h"

namespace {

std::size_t PlatformCalls() {
  auto& hub = sim::TheHub();
  return hub.frames().size() + static_cast<std::size_t>(hub.counters().input_reports) +
         static_cast<std::size_t>(hub.counters().output_reports);
}

TEST(HidWrite, RefusesModesItDoesNotTakeWithoutAPlatformCall) {
  os::HANDLE hub = world::OpenHub();
  std::uint8_t buffer[131] = {2, 0x86, 2};
  for (int mode : {IO_INPUT, 0, -1, 4, 100}) {
    EXPECT_EQ(HidWrite(hub, mode, buffer, 131), IO_FAILED) << mode;
  }
  EXPECT_EQ(PlatformCalls(), 0u);
}

TEST(HidRead, RefusesModesItDoesNotTakeAndLeavesBufferAndLength) {
  os::HANDLE hub = world::OpenHub();
  for (int mode : {IO_OUTPUT, 0, -1, 4, 100}) {
    std::uint8_t buffer[131] = {0x77};
    std::uint32_t length = 131;
    EXPECT_EQ(HidRead(hub, mode, 2, buffer, length), IO_FAILED) << mode;
    EXPECT_EQ(buffer[0], 0x77);
    EXPECT_EQ(length, 131u);
  }
  EXPECT_EQ(PlatformCalls(), 0u);
}

TEST(HidWrite, OutputReportShorterThanAskedStillSucceeds) {
  os::HANDLE hub = world::OpenHub();
  std::uint8_t buffer[131] = {};
  EXPECT_EQ(HidWrite(hub, IO_OUTPUT, buffer, 131), IO_OK);  // the hub takes 64 of them
  EXPECT_EQ(sim::TheHub().counters().output_reports, 1);
}

TEST(HidRead, InputReportSetsTheLengthToTheBytesRead) {
  os::HANDLE hub = world::OpenHub();
  std::uint8_t buffer[131] = {};
  std::uint32_t length = 131;
  EXPECT_EQ(HidRead(hub, IO_INPUT, 1, buffer, length), IO_OK);
  EXPECT_EQ(length, 64u);
}

TEST(HidRead, FeatureKeepsTheLengthWhetherOrNotTheGetSucceeds) {
  os::HANDLE hub = world::OpenHub();
  std::uint8_t buffer[131] = {2, 0x86, 2};
  ASSERT_EQ(HidWrite(hub, IO_FEATURE, buffer, 131), IO_OK);
  std::uint32_t length = 131;
  EXPECT_EQ(HidRead(hub, IO_FEATURE, 2, buffer, length), IO_OK);
  EXPECT_EQ(length, 131u);
  EXPECT_EQ(buffer[0], 2);

  sim::TheHub().options().faults = {{sim::FaultKind::GetFails, 1}};
  buffer[0] = 0x55;
  EXPECT_EQ(HidRead(hub, IO_FEATURE, 0, buffer, length), IO_FAILED);
  EXPECT_EQ(length, 131u);
  EXPECT_EQ(buffer[0], 0);  // the caller's report ID stands in byte 0
}

TEST(HidTransport, InvalidHandleIsPassedOnAndFails) {
  world::OpenHub();
  std::uint8_t buffer[131] = {2};
  std::uint32_t length = 131;
  EXPECT_EQ(HidWrite(os::INVALID_HANDLE_VALUE, IO_FEATURE, buffer, 131), IO_FAILED);
  EXPECT_EQ(HidRead(os::INVALID_HANDLE_VALUE, IO_FEATURE, 2, buffer, length), IO_FAILED);
  EXPECT_EQ(HidWrite(os::INVALID_HANDLE_VALUE, IO_OUTPUT, buffer, 131), IO_FAILED);
  EXPECT_EQ(HidRead(os::INVALID_HANDLE_VALUE, IO_INPUT, 1, buffer, length), IO_FAILED);
}

}  // namespace
