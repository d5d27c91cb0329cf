// Finding the hub at the start of a run: attempts, waits and the give-up.
#include <gtest/gtest.h>

#include "tests/world.h"

namespace {

struct DiscoveryCase {
  const char* name;
  bool update;
  sim::Mode mode;
  std::uint32_t appears_ms;
  // Expected: the stdout the run starts with, and the virtual time of the
  // first exchange with the hub (discovery's cost), or of the end of the run.
  std::string stdout_start;
  std::uint64_t discovery_ms;
  int sets_built;  // device searches made by discovery
};

class Discovery : public ::testing::TestWithParam<DiscoveryCase> {};

TEST_P(Discovery, AttemptsAndWaits) {
  const DiscoveryCase& c = GetParam();
  sim::Options options;
  options.mode = c.mode;
  options.appears_ms = c.appears_ms;
  world::Reset(options);
  std::vector<std::u16string> arguments;
  if (c.update) arguments.push_back(world::WriteImageFile(world::PatternImage()));

  EXPECT_EQ(world::RunTool(arguments), 0);

  EXPECT_EQ(world::Stdout().substr(0, c.stdout_start.size()), c.stdout_start);
  const auto& frames = sim::TheHub().frames();
  if (frames.empty()) {
    EXPECT_EQ(world::Stdout(), c.stdout_start);
    EXPECT_EQ(sim::NowMs(), c.discovery_ms);
    EXPECT_EQ(sim::SleepCalls(), 20u);
    EXPECT_EQ(sim::TheHub().counters().sets_built, c.sets_built);
  } else {
    EXPECT_EQ(frames.front().time_ms, c.discovery_ms);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Discovery,
    ::testing::Values(DiscoveryCase{"NoHubCalibration", false, sim::Mode::Gone, 0,
                                    "Can not found HID Sensor Device!!\n\r", 10000, 20},
                      DiscoveryCase{"NoDeviceUpdate", true, sim::Mode::Gone, 0,
                                    "Can not found HID Sensor Device!!\n\r", 10000, 40},
                      DiscoveryCase{"HubPresentCalibration", false, sim::Mode::Normal, 0,
                                    "Calibrated:255\n\r", 500, 1},
                      DiscoveryCase{"HubPresentUpdate", true, sim::Mode::Normal, 0,
                                    "Calibrated:255\n\r", 500, 2},
                      DiscoveryCase{"LoaderOnlyUpdateNoWait", true, sim::Mode::Loader, 0,
                                    "Calibrated:0\n\r", 0, 2},
                      DiscoveryCase{"HubInTwentiethAttempt", false, sim::Mode::Normal, 9500,
                                    "Calibrated:255\n\r", 10000, 20},
                      DiscoveryCase{"HubJustTooLate", false, sim::Mode::Normal, 9501,
                                    "Can not found HID Sensor Device!!\n\r", 10000, 20}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Discovery, CalibrationRunNeverLooksForTheLoader) {
  sim::Options options;
  options.mode = sim::Mode::Loader;
  world::Reset(options);
  EXPECT_EQ(world::RunTool(), 0);
  EXPECT_EQ(world::Stdout(), "Can not found HID Sensor Device!!\n\r");
  EXPECT_TRUE(sim::TheHub().counters().opened_paths.empty());
}

TEST(Discovery, FurtherArgumentsAreIgnored) {
  world::Reset();
  auto image = world::WriteImageFile(world::PatternImage());
  EXPECT_EQ(world::RunTool({image, u"--verbose", u"more"}), 0);
  EXPECT_NE(world::Stdout().find("Update Completed"), std::string::npos);
}

TEST(Discovery, UnboundLibraryEndsTheRunSilently) {
  sim::Options options;
  options.missing_entry_points = {"HidD_GetInputReport"};
  world::Reset(options);
  EXPECT_EQ(world::RunTool(), 0);
  EXPECT_EQ(world::Stdout(), "");
  EXPECT_EQ(sim::TheHub().counters().sets_built, 0);
  EXPECT_TRUE(sim::TheHub().frames().empty());
}

TEST(Discovery, RefusedImageEndsTheRunBeforeTheLibraryIsLoaded) {
  world::Reset();
  EXPECT_EQ(world::RunTool({u"short.bin"}), 0);
  EXPECT_EQ(world::Stdout(), "\n\r========File Open Failed!!========\n\r");
  EXPECT_TRUE(sim::TheHub().counters().lookups.empty());
  EXPECT_EQ(sim::TheHub().counters().load_flags, 0u);
}

}  // namespace
