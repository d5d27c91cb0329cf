// Update runs and the calibration erase on the simulated hub, judged by what
// the hub holds afterwards.
#include <gtest/gtest.h>

#include "protocol/frames.h"
#include "tests/world.h"

namespace {

const std::string kCompleted = "\n\r========Update Completed!!========\n\r";
const std::string kFailed = "\n\r========Update Failed!!========\n\r";
const std::string kNotFound = "Can not found HID Sensor Device!!\n\r";
const std::string kEnterDfuFailed = "\n\r========Enter DFU Mode Failed!!========\n\r";

bool AllFF(const sim::Memory& memory, std::size_t from, std::size_t to) {
  return std::all_of(memory.begin() + from, memory.begin() + to, [](auto b) { return b == 0xFF; });
}

struct Update {
  sim::Memory before;
  std::vector<std::uint8_t> image = world::PatternImage();
  explicit Update(sim::Options options) {
    world::Reset(options);
    before = sim::TheHub().memory();
  }
  int Run() { return world::RunTool({world::WriteImageFile(image)}); }
};

sim::Options Calibrated(std::uint8_t mark = 200) {
  sim::Options options;
  options.calibrated = mark;
  return options;
}

TEST(UpdateRun, FullWithHubInNormalModeDoesNotWaitForItsReturn) {
  Update update({});
  EXPECT_EQ(update.Run(), 0);
  EXPECT_EQ(world::Stdout(), "Calibrated:255\n\r" + world::Progress() + kCompleted);
  const auto& memory = sim::TheHub().memory();
  EXPECT_TRUE(world::Same(memory, 0x1000, 0x8000, update.image.data()));
  EXPECT_TRUE(world::Same(memory, 0, 0x1000, update.before.data()));
  EXPECT_GE(world::CountSets(code::CMD_ENTER_DFU), 1);
  // Discovery's wait and the waits for the loader; none after the download:
  // the hub is still on its way back when the run ends.
  EXPECT_EQ(sim::SleepCalls(), 1u + 3u);
  EXPECT_EQ(sim::TheHub().mode(), sim::Mode::Gone);
}

TEST(UpdateRun, FullWithOnlyTheLoaderFoundSendsNoEnterDfuAndWaitsForTheHub) {
  sim::Options options;
  options.mode = sim::Mode::Loader;
  Update update(options);
  EXPECT_EQ(update.Run(), 0);
  EXPECT_EQ(world::Stdout(), "Calibrated:0\n\r" + world::Progress() + kCompleted);
  EXPECT_EQ(world::CountSets(code::CMD_ENTER_DFU), 0);
  EXPECT_EQ(sim::TheHub().mode(), sim::Mode::Normal);
  EXPECT_TRUE(world::Same(sim::TheHub().memory(), 0x1000, 0x8000, update.image.data()));
  EXPECT_EQ(sim::TheHub().OpenHandles(), 0);
}

TEST(UpdateRun, KeepLeavesTheCalibrationAreaAsReadBack) {
  Update update(Calibrated());
  EXPECT_EQ(update.Run(), 0);
  EXPECT_EQ(world::Stdout(), "Calibrated:200\n\r" + world::Progress() + kCompleted);
  const auto& memory = sim::TheHub().memory();
  EXPECT_TRUE(world::Same(memory, 0x1000, 0x7C00, update.image.data()));
  EXPECT_TRUE(world::Same(memory, 0x7C00, 0x8000, update.before.data() + 0x7C00));
  // "Update Completed" only once the hub was back.
  EXPECT_EQ(sim::TheHub().mode(), sim::Mode::Normal);
  EXPECT_EQ(sim::TheHub().OpenHandles(), 0);
}

TEST(CalibrationRun, EraseBlanksTheCalibrationButItsLastFourBytes) {
  world::Reset(Calibrated());
  sim::Memory before = sim::TheHub().memory();
  script::Answer({os::IDCANCEL});  // stop at the Step 1 box, before a new calibration
  EXPECT_EQ(world::RunTool(), 0);
  const std::string start = "Calibrated:200\n\rErase calibrated data\n\r";
  EXPECT_EQ(world::Stdout().substr(0, start.size()), start);
  const auto& memory = sim::TheHub().memory();
  EXPECT_TRUE(world::Same(memory, 0, 0x7C00, before.data()));
  EXPECT_TRUE(AllFF(memory, 0x7C00, 0x7FFC));
  EXPECT_TRUE(world::Same(memory, 0x7FFC, 0x8000, before.data() + 0x7FFC));
  // The sequence began on the hub handle that the wait opened.
  ASSERT_EQ(script::Boxes().size(), 1u);
  EXPECT_EQ(script::Boxes()[0].caption, u"Step 1.");
  EXPECT_EQ(sim::TheHub().OpenHandles(), 1);
}

TEST(CalibrationRun, UncalibratedHubIsNotErased) {
  world::Reset();
  script::Answer({os::IDCANCEL});
  EXPECT_EQ(world::RunTool(), 0);
  EXPECT_EQ(world::Stdout().find("Erase"), std::string::npos);
  EXPECT_EQ(world::CountSets(code::CMD_ENTER_DFU), 0);
  EXPECT_TRUE(sim::TheHub().writes().empty());
}

struct MarkCase {
  std::uint8_t mark;
  bool keeps_calibration;
};

class Mark : public ::testing::TestWithParam<MarkCase> {};

TEST_P(Mark, DecidesBetweenKeepAndFull) {
  Update update(Calibrated(GetParam().mark));
  EXPECT_EQ(update.Run(), 0);
  const auto& memory = sim::TheHub().memory();
  if (GetParam().keeps_calibration)
    EXPECT_TRUE(world::Same(memory, 0x7C00, 0x8000, update.before.data() + 0x7C00));
  else
    EXPECT_TRUE(world::Same(memory, 0x7C00, 0x8000, update.image.data() + 0x6C00));
}

INSTANTIATE_TEST_SUITE_P(Limits, Mark,
                         ::testing::Values(MarkCase{179, false}, MarkCase{180, true},
                                           MarkCase{254, true}, MarkCase{255, false}));

sim::Options FailTenthBlockOnce(sim::Options options = {}) {
  // The fallback with report ID 0 is refused by the collection anyway.
  options.faults.push_back({sim::FaultKind::SetFails, 10, code::CMD_DFU_DATA, 1});
  return options;
}

TEST(FailedDownload, FullReportsItAndEnds) {
  Update update(FailTenthBlockOnce());
  EXPECT_EQ(update.Run(), 0);
  EXPECT_EQ(world::Stdout(), "Calibrated:255\n\r" + world::Progress(9) + kFailed);
  EXPECT_EQ(sim::TheHub().OpenHandles(), 1);  // the hub handle from discovery; the loader's closed
}

TEST(FailedDownload, KeepDownloadsAgainWhenTheLoaderIsFoundAndCompletes) {
  Update update(FailTenthBlockOnce(Calibrated()));
  EXPECT_EQ(update.Run(), 0);
  EXPECT_NE(world::Stdout().find(kCompleted), std::string::npos);
  EXPECT_EQ(world::Stdout().find(kFailed), std::string::npos);
  EXPECT_EQ(world::CountSets(code::CMD_DFU_BEGIN), 2);
  const auto& memory = sim::TheHub().memory();
  EXPECT_TRUE(world::Same(memory, 0x1000, 0x7C00, update.image.data()));
  EXPECT_TRUE(world::Same(memory, 0x7C00, 0x8000, update.before.data() + 0x7C00));
}

TEST(FailedDownload, EraseDownloadsAgainThenCalibrates) {
  world::Reset(FailTenthBlockOnce(Calibrated()));
  script::Answer({os::IDCANCEL});
  EXPECT_EQ(world::RunTool(), 0);
  EXPECT_EQ(world::CountSets(code::CMD_DFU_BEGIN), 2);
  EXPECT_TRUE(AllFF(sim::TheHub().memory(), 0x7C00, 0x7FFC));
  EXPECT_EQ(script::Boxes().size(), 1u);
}

struct ReturnCase {
  const char* name;
  std::uint32_t return_ms;
  bool never;
  bool back;
};

class HubReturn : public ::testing::TestWithParam<ReturnCase> {};

TEST_P(HubReturn, WaitsTwentyAttempts) {
  sim::Options options = Calibrated();
  options.return_ms = GetParam().return_ms;
  options.hub_never_returns = GetParam().never;
  Update update(options);
  EXPECT_EQ(update.Run(), 0);
  const std::string& out = world::Stdout();
  if (GetParam().back) {
    EXPECT_EQ(out.substr(out.size() - kCompleted.size()), kCompleted);
  } else {
    EXPECT_EQ(out.substr(out.size() - kNotFound.size()), kNotFound);
    EXPECT_EQ(out.find(kCompleted), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, HubReturn,
                         ::testing::Values(ReturnCase{"BackInTwentiethAttempt", 9500, false, true},
                                           ReturnCase{"OneMillisecondTooLate", 9501, false, false},
                                           ReturnCase{"NeverBack", 0, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CalibrationRun, HubNotBackAfterEraseEndsWithoutCalibration) {
  sim::Options options = Calibrated();
  options.hub_never_returns = true;
  world::Reset(options);
  EXPECT_EQ(world::RunTool(), 0);
  EXPECT_EQ(world::Stdout().substr(world::Stdout().size() - kNotFound.size()), kNotFound);
  EXPECT_TRUE(script::Boxes().empty());
}

TEST(LoaderWait, GivesUpAfterAMinuteHavingSentOnlyEnterDfu) {
  for (auto options : {sim::Options{}, Calibrated()}) {
    options.loader_never_appears = true;
    Update update(options);
    EXPECT_EQ(update.Run(), 0);
    EXPECT_EQ(world::Stdout().substr(world::Stdout().size() - kEnterDfuFailed.size()),
              kEnterDfuFailed);
    EXPECT_EQ(world::CommandsTaken(), std::vector<std::uint8_t>{code::CMD_ENTER_DFU});
    EXPECT_EQ(sim::TheHub().memory(), update.before);
    EXPECT_EQ(sim::SleptMs(), 500u + 120u * 500u);
  }
}

TEST(UpdateRun, ShortImageStagesErasedFlashBeyondTheFile) {
  Update update({});
  update.image = world::PatternImage(100);
  EXPECT_EQ(update.Run(), 0);
  const auto& memory = sim::TheHub().memory();
  EXPECT_TRUE(world::Same(memory, 0x1000, 0x1000 + 100, update.image.data()));
  EXPECT_TRUE(AllFF(memory, 0x1000 + 104, 0x8000));  // after the file's own check value
}

TEST(StartUpReads, AFailedReadEndsTheRunBeforeAnyCommand) {
  for (int query : {code::QRY_MEMORY, code::QRY_SENSOR_DATA}) {
    for (bool update_run : {false, true}) {
      sim::Options options = Calibrated();
      options.faults = {{sim::FaultKind::GetFails, query == code::QRY_MEMORY ? 300 : 1, query}};
      Update update(options);
      EXPECT_EQ(update_run ? update.Run() : world::RunTool(), 0);
      EXPECT_EQ(world::Stdout(), "\n\r========Read Device Failed!!========\n\r");
      EXPECT_TRUE(world::CommandsTaken().empty());
      EXPECT_EQ(sim::TheHub().memory(), update.before);
    }
  }
}

}  // namespace
