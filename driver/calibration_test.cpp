#include "driver/calibration.h"

#include <gtest/gtest.h>

namespace {

struct RuleCase {
  const char* name;
  std::uint8_t state;
  std::uint16_t lux, proximity;
  std::int16_t acc_x, acc_y, acc_z, gyr_x, gyr_y, gyr_z;
  int passes;
};

class Rules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(Rules, JudgeTheRecordAtTheirLimits) {
  const RuleCase& c = GetParam();
  SensorData record{};
  record.lux = c.lux;
  record.proximity = c.proximity;
  record.acc_x = c.acc_x;
  record.acc_y = c.acc_y;
  record.acc_z = c.acc_z;
  record.gyr_x = c.gyr_x;
  record.gyr_y = c.gyr_y;
  record.gyr_z = c.gyr_z;
  EXPECT_EQ(ValidateSensors(record, c.state), c.passes);
}

// Motion cases carry a light reading that fails, and light cases a motion
// reading that fails, so each rule is seen to judge only its own fields.
INSTANTIATE_TEST_SUITE_P(Light, Rules,
                         ::testing::Values(RuleCase{"Lux5", 12, 5, 0, 0, 0, 0, 0, 0, 0, 1},
                                           RuleCase{"Lux6", 12, 6, 0, 0, 0, 0, 0, 0, 0, 0},
                                           RuleCase{"Proximity1", 12, 0, 1, 0, 0, 0, 0, 0, 0, 0},
                                           RuleCase{"LuxMax", 10, 65535, 0, 0, 0, 0, 0, 0, 0, 0},
                                           RuleCase{"State10", 10, 0, 0, 0, 0, 0, 0, 0, 0, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Motion, Rules,
    ::testing::Values(RuleCase{"AccAllZero", 16, 99, 9, 0, 0, 0, 1, 1, 1, 0},
                      RuleCase{"OnlyAccZ", 16, 99, 9, 0, 0, 5, 1, 0, 0, 1},
                      RuleCase{"AccX4096", 16, 99, 9, 4096, 0, 0, 1, 0, 0, 1},
                      RuleCase{"AccXMinus4096", 16, 99, 9, -4096, 0, 0, 1, 0, 0, 1},
                      RuleCase{"AccX4097", 16, 99, 9, 4097, 0, 0, 1, 0, 0, 0},
                      RuleCase{"AccXMinus4097", 16, 99, 9, -4097, 0, 0, 1, 0, 0, 0},
                      RuleCase{"AccY4096", 14, 99, 9, 0, 4096, 0, 1, 0, 0, 1},
                      RuleCase{"AccYMinus4096", 14, 99, 9, 0, -4096, 0, 1, 0, 0, 1},
                      RuleCase{"AccY4097", 14, 99, 9, 0, 4097, 0, 1, 0, 0, 0},
                      RuleCase{"AccYMinus4097", 14, 99, 9, 0, -4097, 0, 1, 0, 0, 0},
                      RuleCase{"AccZUnlimited", 16, 99, 9, 1, 1, -32768, 1, 0, 0, 1},
                      RuleCase{"GyrAllZero", 16, 99, 9, 1, 1, 1, 0, 0, 0, 0},
                      RuleCase{"OnlyGyrZ", 16, 99, 9, 1, 1, 1, 0, 0, -1, 1}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(NoRule, Rules,
                         ::testing::Values(RuleCase{"State11", 11, 99, 9, 0, 0, 0, 0, 0, 0, 1},
                                           RuleCase{"State13", 13, 99, 9, 0, 0, 0, 0, 0, 0, 1},
                                           RuleCase{"State15", 15, 99, 9, 0, 0, 0, 0, 0, 0, 1},
                                           RuleCase{"State0", 0, 99, 9, 0, 0, 0, 0, 0, 0, 1},
                                           RuleCase{"State18", 18, 99, 9, 9999, 0, 0, 0, 0, 0, 1},
                                           RuleCase{"State255", 255, 99, 9, 0, 0, 0, 0, 0, 0, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Prompts, AreTheStationsTextsUnitForUnit) {
  std::u16string fixture(FIXTURE_PROMPT);
  std::u16string start(START_PROMPT);
  EXPECT_EQ(fixture.size(), 93u);
  EXPECT_EQ(start.size(), 55u);
  std::u16string fixture_second = fixture.substr(fixture.find(u'\n') + 1);
  std::u16string start_second = start.substr(start.find(u'\n') + 1);
  const std::vector<char16_t> fixture_units = {
      0xBD, 0xD0, 0xB1, 0x4E, 0xAA, 0x76, 0xA8, 0xE3, 0xA9, 0xF1, 0xA6, 0x62, 'L',
      'i',  'g',  'h',  't',  '/',  'P',  'r',  'o',  'x',  'i',  'm',  'i',  't',
      'y',  0xB7, 0x50, 0xC0, 0xB3, 0xBE, 0xB9, 0xA4, 0x57, 0xA4, 0xE8};
  const std::vector<char16_t> start_units = {0xBD, 0xD0, 0xAB, 0xF6, 0xBD, 0x54, 0xA9, 0x77, 0xB6,
                                             0x7D, 0xA9, 0x6C, 0xAE, 0xD5, 0xA5, 0xBF, 0x2E};
  EXPECT_EQ(std::vector<char16_t>(fixture_second.begin(), fixture_second.end()), fixture_units);
  EXPECT_EQ(std::vector<char16_t>(start_second.begin(), start_second.end()), start_units);
  EXPECT_EQ(fixture.substr(0, fixture.find(u'\n')),
            u"Please put the fixture on the Ambient/Proximity sensor.");
  EXPECT_EQ(start.substr(0, start.find(u'\n')), u"Please Enter OK to start calibration.");
}

}  // namespace
