// The scripted operator stands in for a person at the station: the sequence
// tests lean on its record and on the time it lets pass.

#include "tests/operator.h"

#include <gtest/gtest.h>

#include "sim/clock.h"

namespace {

class Operator : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SetClockMode(sim::ClockMode::Virtual);
    sim::ResetClock();
    script::Reset();
  }
};

TEST_F(Operator, RecordsEachBoxAndTakesItsTime) {
  script::SetThinkTime(1500);
  sim::AdvanceClock(200);
  EXPECT_EQ(os::MessageBoxW(nullptr, u"Please\nnow", u"Step 1.", os::MB_OK), os::IDOK);
  int dummy = 0;
  EXPECT_EQ(os::MessageBoxW(&dummy, nullptr, nullptr, 0x40), os::IDOK);
  ASSERT_EQ(script::Boxes().size(), 2u);
  const script::Box& first = script::Boxes()[0];
  EXPECT_EQ(first.text, u"Please\nnow");
  EXPECT_EQ(first.caption, u"Step 1.");
  EXPECT_EQ(first.type, os::MB_OK);
  EXPECT_FALSE(first.has_owner);
  EXPECT_EQ(first.shown_ms, 200u);
  EXPECT_EQ(first.closed_ms, 1700u);
  EXPECT_EQ(first.answer, os::IDOK);
  const script::Box& second = script::Boxes()[1];
  EXPECT_EQ(second.text, u"");
  EXPECT_EQ(second.caption, u"");
  EXPECT_EQ(second.type, 0x40u);
  EXPECT_TRUE(second.has_owner);
  EXPECT_EQ(second.shown_ms, 1700u);
  EXPECT_GT(second.sequence, first.sequence);
  EXPECT_EQ(sim::NowMs(), 3200u);
}

TEST_F(Operator, AnswersFromTheScriptThenOk) {
  script::Answer({os::IDCANCEL, 0, -1});
  int answers[4];
  for (int& answer : answers) answer = os::MessageBoxW(nullptr, u"t", u"c", os::MB_OK);
  EXPECT_EQ(answers[0], os::IDCANCEL);
  EXPECT_EQ(answers[1], 0);
  EXPECT_EQ(answers[2], -1);
  EXPECT_EQ(answers[3], os::IDOK);
  EXPECT_EQ(script::Boxes()[0].answer, os::IDCANCEL);
  EXPECT_EQ(sim::NowMs(), 0u);  // no think time set
}

TEST_F(Operator, BeepBlocksForItsLength) {
  sim::AdvanceClock(50);
  EXPECT_TRUE(os::Beep(750, 1000));
  std::uint64_t box_sequence = sim::NextSequence();
  EXPECT_TRUE(os::Beep(750, 1000));
  ASSERT_EQ(script::Beeps().size(), 2u);
  EXPECT_EQ(script::Beeps()[0].frequency, 750u);
  EXPECT_EQ(script::Beeps()[0].duration_ms, 1000u);
  EXPECT_EQ(script::Beeps()[0].start_ms, 50u);
  EXPECT_EQ(script::Beeps()[1].start_ms, 1050u);
  EXPECT_LT(script::Beeps()[0].sequence, box_sequence);
  EXPECT_GT(script::Beeps()[1].sequence, box_sequence);
  EXPECT_TRUE(script::Beeps()[1].sounded);
  EXPECT_EQ(sim::NowMs(), 2050u);
}

TEST_F(Operator, BeepOutsideTheAudibleRangeFailsAtOnce) {
  for (os::DWORD frequency : {36u, 32768u}) {
    EXPECT_FALSE(os::Beep(frequency, 1000));
    EXPECT_FALSE(script::Beeps().back().sounded);
  }
  EXPECT_TRUE(os::Beep(37, 10));
  EXPECT_TRUE(os::Beep(32767, 10));
  EXPECT_EQ(script::Beeps().size(), 4u);
  EXPECT_EQ(sim::NowMs(), 20u);
}

TEST_F(Operator, ResetForgetsTheScript) {
  script::SetThinkTime(100);
  script::Answer({os::IDCANCEL});
  os::Beep(750, 10);
  script::Reset();
  EXPECT_TRUE(script::Beeps().empty());
  EXPECT_EQ(os::MessageBoxW(nullptr, u"t", u"c", os::MB_OK), os::IDOK);
  EXPECT_EQ(script::Boxes().size(), 1u);
  EXPECT_EQ(script::Boxes()[0].closed_ms, script::Boxes()[0].shown_ms);
}

}  // namespace
