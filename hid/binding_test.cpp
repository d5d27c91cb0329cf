#include "hid/binding.h"

#include <gtest/gtest.h>

#include "tests/world.h"

namespace {

const std::vector<std::string> kEntryPoints = {"HidD_GetHidGuid",    "HidD_GetProductString",
                                               "HidD_GetAttributes", "HidD_SetFeature",
                                               "HidD_GetFeature",    "HidD_GetInputReport"};

TEST(LoadHidLibrary, BindsAllSixFromTheSystemDirectorySilently) {
  world::Reset();
  EXPECT_TRUE(LoadHidLibrary());
  const auto& counters = sim::TheHub().counters();
  EXPECT_EQ(counters.lookups, kEntryPoints);
  EXPECT_EQ(counters.load_flags, os::LOAD_LIBRARY_SEARCH_SYSTEM32);
  EXPECT_EQ(counters.library_frees, 0);
  EXPECT_NE(HidBinding.HidD_GetInputReport, nullptr);
  EXPECT_EQ(world::Stdout(), "");
}

class MissingEntryPoint : public ::testing::TestWithParam<std::string> {};

TEST_P(MissingEntryPoint, FailsAfterLookingUpAllAndReleasesTheLibrary) {
  sim::Options options;
  options.missing_entry_points = {GetParam()};
  world::Reset(options);
  EXPECT_FALSE(LoadHidLibrary());
  const auto& counters = sim::TheHub().counters();
  EXPECT_EQ(counters.lookups, kEntryPoints);
  EXPECT_EQ(counters.library_frees, 1);
  // Unbound: not even the entry points that were found may be called.
  EXPECT_EQ(HidBinding.HidD_GetHidGuid, nullptr);
  EXPECT_EQ(HidBinding.HidD_SetFeature, nullptr);
  EXPECT_EQ(HidBinding.module, nullptr);
  EXPECT_EQ(world::Stdout(), "");
}

INSTANTIATE_TEST_SUITE_P(EachName, MissingEntryPoint, ::testing::ValuesIn(kEntryPoints));

TEST(LoadHidLibrary, LibraryThatCannotBeLoadedIsNeitherSearchedNorReleased) {
  sim::Options options;
  options.hid_library_missing = true;
  world::Reset(options);
  EXPECT_FALSE(LoadHidLibrary());
  EXPECT_TRUE(sim::TheHub().counters().lookups.empty());
  EXPECT_EQ(sim::TheHub().counters().library_frees, 0);
}

TEST(FreeHidLibrary, ReleasesTheBoundLibrary) {
  world::Reset();
  ASSERT_TRUE(LoadHidLibrary());
  FreeHidLibrary();
  EXPECT_EQ(sim::TheHub().counters().library_frees, 1);
  EXPECT_EQ(HidBinding.HidD_GetFeature, nullptr);
}

}  // namespace
