// Calibration runs on the simulated hub: the screen, the boxes, the commands
// and the time each step takes.
#include <gtest/gtest.h>

#include "driver/calibration.h"
#include "protocol/frames.h"
#include "tests/world.h"

namespace {

using Codes = std::vector<std::uint8_t>;

const std::string kRule(80, '=');

std::string At(int column, const std::string& text) {
  return std::string(column, ' ') + text;
}

// The first frame set with this code (the nth, from 1).
const sim::Frame* Set(std::uint8_t code, int nth = 1) {
  for (const auto& frame : sim::TheHub().frames())
    if (frame.set && frame.ok && frame.code == code && --nth == 0) return &frame;
  return nullptr;
}

// Reading queries taken between two frames.
int ReadingsBetween(const sim::Frame* from, const sim::Frame* to) {
  int count = 0;
  for (const auto& frame : sim::TheHub().frames())
    if (frame.set && frame.code == code::QRY_SENSOR_DATA && frame.sequence > from->sequence &&
        frame.sequence < to->sequence)
      ++count;
  return count;
}

TEST(CalibrationRun, PassesThroughTheThreeSteps) {
  world::Reset();
  script::SetThinkTime(3000);
  EXPECT_EQ(world::RunTool(), 0);

  // Standard output: the mark, then the rule line.
  EXPECT_EQ(world::Stdout(), "Calibrated:255\n\r" + kRule);

  // The screen after the run.
  EXPECT_EQ(screen::RowText(1), At(20, "Velkor Sensor Calibration & Validation Tool") +
                                    std::string(64 - 63, ' ') + "(V1.70)");
  EXPECT_EQ(screen::RowText(2), kRule);
  EXPECT_EQ(screen::RowText(4), At(24, "===============Step1==============="));
  EXPECT_EQ(screen::RowText(9), At(24, "===============Step2==============="));
  EXPECT_EQ(screen::RowText(16), At(24, "===============Step3==============="));
  EXPECT_EQ(screen::RowText(18), At(38, "LEVEL=3"));
  EXPECT_EQ(screen::RowText(6).substr(0, 35), std::string(35, ' '));
  EXPECT_NE(screen::RowText(6).find(" LUX.     "), std::string::npos);
  EXPECT_EQ(screen::RowText(11).substr(25, 6), "ACC_X:");
  EXPECT_EQ(screen::RowText(13).substr(28, 6), "GYR_X:");
  EXPECT_EQ(screen::At(0, 0).attribute, 0x0A);
  EXPECT_EQ(screen::At(79, 299).attribute, 0x0A);  // the whole buffer, green on black
  EXPECT_FALSE(screen::CursorVisible());

  // The boxes, in order.
  const auto& boxes = script::Boxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].caption, u"Step 1.");
  EXPECT_EQ(boxes[0].text, FIXTURE_PROMPT);
  EXPECT_EQ(boxes[1].caption, u"Step 2.");
  EXPECT_EQ(boxes[1].text, START_PROMPT);
  EXPECT_EQ(boxes[2].caption, u"Step 3.");
  EXPECT_EQ(boxes[2].text, START_PROMPT);
  EXPECT_EQ(boxes[3].caption, u"Validation Pass");
  EXPECT_EQ(boxes[3].text, u"Calibration & Validation PASSED");
  for (const auto& box : boxes) {
    EXPECT_EQ(box.type, os::MB_OK);
    EXPECT_FALSE(box.has_owner);
  }

  // The commands, in order, each sent before its step's box.
  EXPECT_EQ(world::CommandsTaken(),
            (Codes{code::CMD_START, code::CMD_STATE_10, code::CMD_STATE_12, code::CMD_STATE_14,
                   code::CMD_STATE_16, code::CMD_STATE_18, code::CMD_STATE_20, code::CMD_STOP}));
  EXPECT_LT(Set(code::CMD_STATE_10)->sequence, boxes[0].sequence);
  EXPECT_LT(Set(code::CMD_STATE_14)->sequence, boxes[1].sequence);
  EXPECT_LT(Set(code::CMD_STATE_18)->sequence, boxes[2].sequence);

  // Time: 100 light readings 40 ms apart, then 50 and 50 motion readings.
  EXPECT_GE(Set(code::CMD_STATE_12)->time_ms - boxes[0].closed_ms, 4000u);
  EXPECT_EQ(ReadingsBetween(Set(code::CMD_STATE_10), Set(code::CMD_STATE_12)), 100);
  EXPECT_GE(Set(code::CMD_STATE_16)->time_ms - boxes[1].closed_ms, 2000u);
  EXPECT_EQ(ReadingsBetween(Set(code::CMD_STATE_14), Set(code::CMD_STATE_16)), 1 + 50);
  EXPECT_GE(Set(code::CMD_STATE_18)->time_ms - Set(code::CMD_STATE_16)->time_ms, 2000u);
  EXPECT_EQ(ReadingsBetween(Set(code::CMD_STATE_16), Set(code::CMD_STATE_18)), 50);

  // The level every 50 ms, then two 1000 ms beeps 500 ms apart.
  const auto& beeps = script::Beeps();
  ASSERT_EQ(beeps.size(), 2u);
  for (const auto& beep : beeps) {
    EXPECT_EQ(beep.frequency, 750u);
    EXPECT_EQ(beep.duration_ms, 1000u);
  }
  EXPECT_EQ(beeps[1].start_ms - beeps[0].start_ms, 1500u);
  int level_readings = ReadingsBetween(Set(code::CMD_STATE_18), Set(code::CMD_STATE_20)) - 1;
  EXPECT_GE(level_readings, 1);
  EXPECT_EQ(beeps[0].start_ms - boxes[2].closed_ms, 50u * level_readings);
  EXPECT_LT(beeps[1].sequence, Set(code::CMD_STATE_20)->sequence);

  // The pass ending: CMD_STOP once the operator has closed the box, and the
  // hub handle closed.
  EXPECT_GE(Set(code::CMD_STOP)->time_ms, boxes[3].closed_ms);
  EXPECT_EQ(boxes[3].closed_ms - boxes[3].shown_ms, 3000u);
  EXPECT_EQ(sim::TheHub().OpenHandles(), 0);
  // The hub wrote its new calibration.
  EXPECT_EQ(sim::TheHub().mark(), 0xC8);
}

struct FailureCase {
  const char* name;
  sim::Scenario scenario;
  std::u16string caption;
  Codes commands;
  std::size_t boxes;
};

class FailureEnding : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailureEnding, StopsAfterTheBoxAndLeavesTheHandleOpen) {
  const FailureCase& c = GetParam();
  sim::Options options;
  options.scenario = c.scenario;
  world::Reset(options);
  EXPECT_EQ(world::RunTool(), 0);
  const auto& boxes = script::Boxes();
  ASSERT_EQ(boxes.size(), c.boxes);
  EXPECT_EQ(boxes.back().text, u"Calibration & Validation FAILED");
  EXPECT_EQ(boxes.back().caption, c.caption);
  EXPECT_EQ(world::CommandsTaken(), c.commands);
  EXPECT_GT(Set(code::CMD_STOP)->sequence, boxes.back().sequence);
  EXPECT_EQ(sim::NowMs() - Set(code::CMD_STOP)->time_ms, 500u);
  EXPECT_EQ(sim::TheHub().OpenHandles(), 1);
}

INSTANTIATE_TEST_SUITE_P(Rules, FailureEnding,
                         ::testing::Values(FailureCase{"Light", sim::Scenario::LightFail,
                                                       u"Ambient Light & Proximity Validation Fail",
                                                       Codes{code::CMD_START, code::CMD_STATE_10,
                                                             code::CMD_STATE_12, code::CMD_STOP},
                                                       2},
                                           FailureCase{"Motion", sim::Scenario::MotionFail,
                                                       u"Accelerometer & Gyroscope Validation Fail",
                                                       Codes{code::CMD_START, code::CMD_STATE_10,
                                                             code::CMD_STATE_12, code::CMD_STATE_14,
                                                             code::CMD_STATE_16, code::CMD_STOP},
                                                       3}),
                         [](const auto& info) { return std::string(info.param.name); });

struct CancelCase {
  std::vector<int> answers;
  Codes commands;
};

class Cancel : public ::testing::TestWithParam<CancelCase> {};

TEST_P(Cancel, AtAStepBoxEndsTheRunAtOnce) {
  world::Reset();
  script::Answer(GetParam().answers);
  EXPECT_EQ(world::RunTool(), 0);
  EXPECT_EQ(script::Boxes().size(), GetParam().answers.size());
  EXPECT_EQ(world::CommandsTaken(), GetParam().commands);
  EXPECT_EQ(sim::TheHub().OpenHandles(), 1);
  EXPECT_TRUE(script::Beeps().empty());
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, Cancel,
    ::testing::Values(CancelCase{{os::IDCANCEL}, {code::CMD_START, code::CMD_STATE_10}},
                      CancelCase{{os::IDOK, os::IDCANCEL},
                                 {code::CMD_START, code::CMD_STATE_10, code::CMD_STATE_12,
                                  code::CMD_STATE_14}},
                      CancelCase{{os::IDOK, os::IDOK, os::IDCANCEL},
                                 {code::CMD_START, code::CMD_STATE_10, code::CMD_STATE_12,
                                  code::CMD_STATE_14, code::CMD_STATE_16, code::CMD_STATE_18}}));

TEST(CalibrationRun, AFailedBoxLetsTheStepGoOn) {
  world::Reset();
  script::Answer({0, 0, 0});  // the box could not be shown
  EXPECT_EQ(world::RunTool(), 0);
  EXPECT_EQ(script::Boxes().back().caption, u"Validation Pass");
}

struct RepeatCase {
  const char* name;
  std::uint8_t ignored;  // the command the hub ignores at first
  int times;
  std::uint8_t resent;  // then sent this often in all
  std::size_t boxes;
};

class RepeatedState : public ::testing::TestWithParam<RepeatCase> {};

TEST_P(RepeatedState, RunsItsHandlerAgain) {
  const RepeatCase& c = GetParam();
  sim::Options options;
  options.ignore_commands[c.ignored] = c.times;
  world::Reset(options);
  EXPECT_EQ(world::RunTool(), 0);
  EXPECT_EQ(world::CountSets(c.ignored), c.resent);
  EXPECT_EQ(script::Boxes().size(), c.boxes);
  EXPECT_EQ(script::Boxes().back().caption, u"Validation Pass");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RepeatedState,
    ::testing::Values(RepeatCase{"State1", code::CMD_STATE_10, 2, 3, 4 + 2},
                      RepeatCase{"State10AfterItsReadings", code::CMD_STATE_12, 3, 4, 4},
                      RepeatCase{"State12AfterStep2", code::CMD_STATE_14, 1, 2, 4 + 1},
                      RepeatCase{"State14", code::CMD_STATE_16, 1, 2, 4},
                      RepeatCase{"State16AfterStep3", code::CMD_STATE_18, 1, 2, 4 + 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RepeatedState, State10AfterTheHundredthReadingGetsNoMoreReadingsNorPauses) {
  sim::Options options;
  options.ignore_commands[code::CMD_STATE_12] = 3;
  world::Reset(options);
  world::RunTool();
  EXPECT_EQ(ReadingsBetween(Set(code::CMD_STATE_10), Set(code::CMD_STATE_12, 4)), 100);
  EXPECT_EQ(Set(code::CMD_STATE_12, 4)->time_ms, Set(code::CMD_STATE_12, 1)->time_ms);
}

TEST(RepeatedState, State14GetsFiftyMoreReadings) {
  sim::Options options;
  options.ignore_commands[code::CMD_STATE_16] = 1;
  world::Reset(options);
  world::RunTool();
  EXPECT_EQ(ReadingsBetween(Set(code::CMD_STATE_16, 1), Set(code::CMD_STATE_16, 2)), 50);
}

sim::Reading Fixed(std::uint16_t lux, std::uint16_t proximity = 0) {
  sim::Reading reading;
  reading.lux = lux;
  reading.proximity = proximity;
  reading.acc_z = 4096;
  reading.gyr_z = 1;
  return reading;
}

TEST(LightLine, AShorterLineLeavesTheEndOfTheLongerStanding) {
  sim::Options options;
  options.readings = {Fixed(0), Fixed(1234)};  // the start-up reading, then the first of step 1
  for (int i = 0; i < 99; ++i) options.readings.push_back(Fixed(5));
  world::Reset(options);
  script::Answer({os::IDOK, os::IDCANCEL});
  world::RunTool();
  EXPECT_EQ(screen::RowText(6), At(35, "5 LUX.     0 MM.MM."));
}

TEST(LightLine, AfterTheStep2BoxShowsHalfTheLux) {
  sim::Options options;
  for (int i = 0; i < 101; ++i) options.readings.push_back(Fixed(2));
  options.readings.push_back(Fixed(7, 9));
  world::Reset(options);
  script::Answer({os::IDOK, os::IDOK, os::IDCANCEL});
  world::RunTool();
  EXPECT_EQ(screen::RowText(6), At(35, "3 LUX.     9 MM."));
}

TEST(LevelLoop, ALevelOf3AtOnceStillCostsOnePauseAndOneLine) {
  sim::Options options;
  // Start-up, 100 light, 1 after Step 2, 50 + 50 motion, 1 after Step 3.
  for (int i = 0; i < 203; ++i) options.readings.push_back(Fixed(0));
  sim::Reading three = Fixed(0);
  three.level = 3;
  options.readings.push_back(three);
  world::Reset(options);
  world::RunTool();
  EXPECT_EQ(ReadingsBetween(Set(code::CMD_STATE_18), Set(code::CMD_STATE_20)), 2);
  EXPECT_EQ(script::Beeps()[0].start_ms - script::Boxes()[2].closed_ms, 50u);
  EXPECT_EQ(screen::RowText(18), At(38, "LEVEL=3"));
}

TEST(CalibrationRun, FailedStatusQueriesArePolledPast) {
  sim::Options options;
  options.faults = {{sim::FaultKind::GetFails, 1, code::QRY_STATUS, 5}};
  world::Reset(options);
  EXPECT_EQ(world::RunTool(), 0);
  EXPECT_EQ(script::Boxes().back().caption, u"Validation Pass");
}

TEST(CalibrationRun, CounterStartsAtZeroAfterAnErase) {
  // A hub that comes back from the erase on its fourth attempt already in
  // state 10 still gets its hundred light readings.
  sim::Options options;
  options.calibrated = 200;
  options.return_ms = 1600;
  options.normal_state = 10;
  options.ignore_commands[code::CMD_START] = 1;
  world::Reset(options);
  script::Answer({os::IDCANCEL});
  world::RunTool();
  const sim::Frame* start = Set(code::CMD_START, 2);  // the loader's start is the first
  ASSERT_NE(start, nullptr);
  EXPECT_EQ(ReadingsBetween(start, Set(code::CMD_STATE_12)), 100);
}

}  // namespace

namespace {

struct StallCase {
  const char* name;
  sim::Options options;
};

sim::Options Vanishes(std::uint8_t code, int nth) {
  sim::Options options;
  options.vanish_ms = 0;  // gone for good
  options.faults = {{sim::FaultKind::Vanishes, nth, code}};
  return options;
}

sim::Options StartLost() {
  sim::Options options;
  options.faults = {{sim::FaultKind::SetFails, 1, code::CMD_START}};  // ID 0 is refused too
  return options;
}

sim::Options StuckInState10() {
  sim::Options options;
  options.ignore_commands[code::CMD_STATE_12] = 1000000;
  return options;
}

class Stalled : public ::testing::TestWithParam<StallCase> {};

TEST_P(Stalled, EndsAsFailedAfterTenIdleSeconds) {
  sim::Options options = GetParam().options;
  options.link_ms = 0.25;  // polls take time, as on a real link
  world::Reset(options);
  EXPECT_EQ(world::RunTool(), 0);
  const auto& boxes = script::Boxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back().text, u"Calibration & Validation FAILED");
  EXPECT_EQ(boxes.back().caption, u"Sensor Hub Not Responding");
  EXPECT_GE(boxes.back().shown_ms, HUB_STALL_LIMIT_MS);
  EXPECT_TRUE(script::Beeps().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Stalled,
    ::testing::Values(StallCase{"HubGoneWhilePolling", Vanishes(code::QRY_STATUS, 150)},
                      StallCase{"HubGoneInTheLevelLoop", Vanishes(code::QRY_SENSOR_DATA, 204)},
                      StallCase{"StartNeverTaken", StartLost()},
                      StallCase{"HubNeverLeavesState10", StuckInState10()}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
