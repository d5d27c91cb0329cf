#include "protocol/reads.h"

#include <gtest/gtest.h>

#include "hid/transport.h"
#include "protocol/frames.h"
#include "tests/world.h"

namespace {

struct MemoryCase {
  std::uint32_t size;
  std::vector<std::uint16_t> indices;
};

class MemoryRead : public ::testing::TestWithParam<MemoryCase> {};

TEST_P(MemoryRead, AsksForWholeChunksThenThePartOfOne) {
  const MemoryCase& c = GetParam();
  os::HANDLE hub = world::OpenHub();
  std::vector<std::uint8_t> dest(c.size + 8, 0xEE);
  EXPECT_EQ(ReadDeviceMemory(hub, dest.data(), c.size), IO_OK);

  std::vector<std::uint16_t> indices;
  for (const auto& frame : world::SetFrames())
    indices.push_back(static_cast<std::uint16_t>(frame.bytes[2] | frame.bytes[3] << 8));
  EXPECT_EQ(indices, c.indices);
  const auto& memory = sim::TheHub().memory();
  EXPECT_TRUE(std::equal(dest.begin(), dest.begin() + c.size, memory.begin()));
  EXPECT_EQ(dest[c.size], 0xEE);  // nothing past size
}

std::vector<std::uint16_t> Upto(std::uint16_t last) {
  std::vector<std::uint16_t> v;
  for (std::uint16_t i = 0; i <= last; ++i) v.push_back(i);
  return v;
}

INSTANTIATE_TEST_SUITE_P(Sizes, MemoryRead,
                         ::testing::Values(MemoryCase{0x8000, Upto(546)}, MemoryCase{60, {0}},
                                           MemoryCase{59, {0}}, MemoryCase{120, {0, 1}},
                                           MemoryCase{0, {}}));

TEST(ReadDeviceMemory, ReportsAFailedChunkThoughLaterOnesSucceed) {
  sim::Options options;
  options.faults = {{sim::FaultKind::GetFails, 5, code::QRY_MEMORY}};
  os::HANDLE hub = world::OpenHub(options);
  std::vector<std::uint8_t> dest(0x8000);
  EXPECT_EQ(ReadDeviceMemory(hub, dest.data(), 0x8000), IO_FAILED);
  EXPECT_EQ(world::CountSets(code::QRY_MEMORY), 547);
  const auto& memory = sim::TheHub().memory();
  EXPECT_TRUE(std::equal(dest.begin() + 300, dest.end(), memory.begin() + 300));
}

TEST(ReadSensorData, DecodesLittleEndianWithEachFieldsSignedness) {
  sim::Options options;
  sim::Reading reading;
  reading.lux = 65535;
  reading.proximity = 0x0102;
  reading.acc_x = -1;
  reading.acc_y = -32768;
  reading.acc_z = 4096;
  reading.gyr_x = -2;
  reading.gyr_z = 7;
  reading.level = 0xFF;
  options.readings = {reading};
  options.calibrated = 0xFF;
  os::HANDLE hub = world::OpenHub(options);
  SensorData record{};
  EXPECT_EQ(ReadSensorData(hub, &record), IO_OK);
  EXPECT_EQ(record.lux, 65535);
  EXPECT_EQ(record.proximity, 0x0102);
  EXPECT_EQ(record.acc_x, -1);
  EXPECT_EQ(record.acc_y, -32768);
  EXPECT_EQ(record.acc_z, 4096);
  EXPECT_EQ(record.gyr_x, -2);
  EXPECT_EQ(record.gyr_y, 0);
  EXPECT_EQ(record.gyr_z, 7);
  EXPECT_EQ(record.level, 255);
  EXPECT_EQ(record.calibrated, 255);
}

TEST(QueryStatus, GivesStatusThenState) {
  sim::Options options;
  options.mode = sim::Mode::Loader;
  os::HANDLE loader = world::OpenHub(options);
  CMD_DFU_BEGIN(loader);
  std::uint8_t status = 0, state = 0;
  EXPECT_EQ(QueryStatus(loader, &status, &state), IO_OK);
  EXPECT_EQ(status, 2);  // busy
  EXPECT_EQ(state, 3);
  while (QueryStatusOnly(loader) == 2) {
  }
  EXPECT_EQ(QueryStateOnly(loader), 3);
}

}  // namespace
