#include "hid/discovery.h"

#include <gtest/gtest.h>

#include "driver/run.h"
#include "hid/binding.h"
#include "tests/world.h"

namespace {

const std::u16string kCol02 =
    u"\\\\?\\hid#vid_4721&pid_0800&mi_01&col02#7&3a4b5c6d&0&0001#{4d1e55b2-f16f-11cf-88cb-"
    u"001111000030}";
const std::u16string kLoader =
    u"\\\\?\\hid#vid_4721&pid_df25#6&5e6f7a8b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const std::u16string kMouse =
    u"\\\\?\\hid#vid_845e&pid_0001#1&2d595ca7&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const std::u16string kTwin = u"\\\\?\\hid#vid_4721&pid_0800&mi_01&col02#9&twin&0&0001#{guid}";

struct SearchCase {
  const char* name;
  sim::Options options;
  std::u16string fragment;
  std::u16string opened;  // empty: INVALID_HANDLE_VALUE
};

sim::Options Loader() {
  sim::Options o;
  o.mode = sim::Mode::Loader;
  return o;
}
sim::Options Twin() {
  sim::Options o;
  o.extra_paths_first = {kTwin};
  return o;
}
sim::Options FirstMatchLocked() {
  sim::Options o;
  o.fail_open_fragment = u"col02";
  o.extra_paths_last = {kTwin + u"-unlocked"};
  return o;
}
sim::Options DetailFails(int member) {
  sim::Options o;
  o.fail_detail_member = member;
  return o;
}
sim::Options EmptyBus() {
  sim::Options o;
  o.mode = sim::Mode::Gone;
  o.unrelated_devices = false;
  return o;
}

class Search : public ::testing::TestWithParam<SearchCase> {};

TEST_P(Search, OpensTheFirstMatchOnlyAndDestroysTheSetOnce) {
  const SearchCase& c = GetParam();
  world::Reset(c.options);
  ASSERT_TRUE(LoadHidLibrary());
  os::HANDLE handle = OpenHidDevice(c.fragment.c_str());
  auto& hub = sim::TheHub();
  if (c.opened.empty()) {
    EXPECT_EQ(handle, os::INVALID_HANDLE_VALUE);
    EXPECT_TRUE(hub.counters().opened_paths.empty());
  } else {
    EXPECT_NE(handle, os::INVALID_HANDLE_VALUE);
    EXPECT_EQ(hub.counters().opened_paths, std::vector<std::u16string>{c.opened});
  }
  EXPECT_EQ(hub.counters().sets_built, 1);
  EXPECT_EQ(hub.counters().sets_destroyed, 1);
  EXPECT_EQ(hub.counters().detail_size_mismatches, 0);
  EXPECT_EQ(world::Stdout(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Search,
    ::testing::Values(
        SearchCase{"HubInNormalMode", {}, SENSOR_HUB_ID, kCol02},
        SearchCase{"OtherLetterCase", {}, u"VID_4721&PID_0800&MI_01&COL02", u""},
        SearchCase{"OtherCollectionOnly", {}, u"vid_4721&pid_0800&mi_01&col03", u""},
        SearchCase{"LoaderMatchesByIdsAlone", Loader(), DFU_LOADER_ID, kLoader},
        SearchCase{"LoaderAbsentInNormalMode", {}, DFU_LOADER_ID, u""},
        SearchCase{"TwoMatchesFirstWins", Twin(), SENSOR_HUB_ID, kTwin},
        SearchCase{"FirstMatchCannotBeOpened", FirstMatchLocked(), SENSOR_HUB_ID, u""},
        SearchCase{"DetailOfEarlierMemberFails", DetailFails(0), SENSOR_HUB_ID, u""},
        SearchCase{"DetailOfLaterMemberNeverRead", DetailFails(6), SENSOR_HUB_ID, kCol02},
        SearchCase{"NoInterfaceAtAll", EmptyBus(), SENSOR_HUB_ID, u""},
        SearchCase{"EmptyFragmentOpensFirstInterface", {}, u"", kMouse}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OpenHidDevice, OpensForSharedReadAndWrite) {
  world::Reset();
  ASSERT_TRUE(LoadHidLibrary());
  ASSERT_NE(OpenHidDevice(SENSOR_HUB_ID), os::INVALID_HANDLE_VALUE);
  const auto& counters = sim::TheHub().counters();
  EXPECT_EQ(counters.open_access, os::GENERIC_READ | os::GENERIC_WRITE);
  EXPECT_EQ(counters.open_share, os::FILE_SHARE_READ | os::FILE_SHARE_WRITE);
  EXPECT_EQ(counters.open_disposition, os::OPEN_EXISTING);
  EXPECT_EQ(counters.open_flags, 0u);
}

TEST(OpenHidDevice, SetThatCannotBeBuiltIsToldOncePerCallWithoutLineEnd) {
  sim::Options options;
  options.fail_class_devs = 2;
  world::Reset(options);
  ASSERT_TRUE(LoadHidLibrary());
  EXPECT_EQ(OpenHidDevice(SENSOR_HUB_ID), os::INVALID_HANDLE_VALUE);
  EXPECT_EQ(OpenHidDevice(SENSOR_HUB_ID), os::INVALID_HANDLE_VALUE);
  EXPECT_EQ(world::Stdout(),
            "Failed to open handle to HID device set.Failed to open handle to HID device set.");
  EXPECT_EQ(sim::TheHub().counters().sets_destroyed, 0);
  // The binding is untouched: the next search finds the hub.
  EXPECT_NE(OpenHidDevice(SENSOR_HUB_ID), os::INVALID_HANDLE_VALUE);
}

TEST(ContainsText, IsExactAndCaseSensitive) {
  EXPECT_TRUE(ContainsText(u"abcdef", u"cde"));
  EXPECT_TRUE(ContainsText(u"abcdef", u""));
  EXPECT_FALSE(ContainsText(u"abcdef", u"CDE"));
  EXPECT_FALSE(ContainsText(u"abc", u"abcd"));
}

}  // namespace
