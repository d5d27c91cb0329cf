#include "platform/linux/device_paths.h"

#include <gtest/gtest.h>

namespace {

using linux_hid::Collection;

struct PathsCase {
  const char* name;
  std::vector<Collection> collections;
  std::vector<std::u16string> paths;
};

class DevicePaths : public ::testing::TestWithParam<PathsCase> {};

TEST_P(DevicePaths, FollowWindowsNaming) {
  EXPECT_EQ(linux_hid::DevicePaths(GetParam().collections), GetParam().paths);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DevicePaths,
    ::testing::Values(PathsCase{"PlainDeviceOneCollection",
                                {{0x4721, 0xDF25, false, 0, "hidraw1"}},
                                {u"\\\\?\\hid#vid_4721&pid_df25#hidraw1"}},
                      PathsCase{"CompositeOneCollection",
                                {{0x4721, 0x0800, true, 0, "hidraw1"}},
                                {u"\\\\?\\hid#vid_4721&pid_0800&mi_00#hidraw1"}},
                      PathsCase{"CompositeTwoCollectionsNumberedInOrder",
                                {{0x4721, 0x0800, true, 0, "hidraw1"},
                                 {0x4721, 0x0800, true, 1, "hidraw2"},
                                 {0x4721, 0x0800, true, 1, "hidraw2"}},
                                {u"\\\\?\\hid#vid_4721&pid_0800&mi_00#hidraw1",
                                 u"\\\\?\\hid#vid_4721&pid_0800&mi_01&col01#hidraw2",
                                 u"\\\\?\\hid#vid_4721&pid_0800&mi_01&col02#hidraw2"}},
                      PathsCase{"PlainDeviceThreeCollections",
                                {{0x046D, 0xC52B, false, 2, "hidraw5"},
                                 {0x046D, 0xC52B, false, 2, "hidraw5"},
                                 {0x046D, 0xC52B, false, 2, "hidraw5"}},
                                {u"\\\\?\\hid#vid_046d&pid_c52b&col01#hidraw5",
                                 u"\\\\?\\hid#vid_046d&pid_c52b&col02#hidraw5",
                                 u"\\\\?\\hid#vid_046d&pid_c52b&col03#hidraw5"}},
                      // Upper-case hex digits and node letters come out in lower case, as
                      // SetupDi writes its paths; a fragment in capitals matches nothing.
                      PathsCase{"LowerCase",
                                {{0xABCD, 0xEF01, true, 0x0A, "HIDRAW12"}},
                                {u"\\\\?\\hid#vid_abcd&pid_ef01&mi_0a#hidraw12"}},
                      // A non-USB device has no interface number to show.
                      PathsCase{"NoInterfaceNumber",
                                {{0x04F3, 0x2A3B, true, -1, "hidraw0"}},
                                {u"\\\\?\\hid#vid_04f3&pid_2a3b#hidraw0"}},
                      // Collections are counted per node, wherever the list puts them.
                      PathsCase{"CountedPerNode",
                                {{0x1111, 0x2222, false, 0, "hidraw3"},
                                 {0x3333, 0x4444, false, 0, "hidraw4"},
                                 {0x1111, 0x2222, false, 0, "hidraw3"}},
                                {u"\\\\?\\hid#vid_1111&pid_2222&col01#hidraw3",
                                 u"\\\\?\\hid#vid_3333&pid_4444#hidraw4",
                                 u"\\\\?\\hid#vid_1111&pid_2222&col02#hidraw3"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct CompositeCase {
  unsigned interfaces, device_class, subclass, protocol;
  bool composite;
};

TEST(Composite, NeedsSeveralInterfacesAndClassesLeftToThem) {
  const CompositeCase cases[] = {
      {2, 0x00, 0x00, 0x00, true},   // the hub in normal mode
      {1, 0x00, 0x00, 0x00, false},  // its loader
      {3, 0xEF, 0x02, 0x01, true},   // interface association
      {3, 0xEF, 0x02, 0x02, false},
      {2, 0xFF, 0x00, 0x00, false},  // vendor class: one device to Windows
      {0, 0x00, 0x00, 0x00, false},
  };
  for (const auto& c : cases) {
    linux_hid::UsbDevice device{c.interfaces, c.device_class, c.subclass, c.protocol};
    EXPECT_EQ(linux_hid::IsComposite(device), c.composite)
        << c.interfaces << " interfaces, class " << c.device_class;
  }
}

TEST(NodeOfPath, TakesTheHidrawNodeAfterTheLastHash) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"\\\\?\\hid#vid_4721&pid_0800&mi_01&col02#hidraw2", "hidraw2"},
      {u"\\\\?\\hid#vid_4721&pid_df25#hidraw13", "hidraw13"},
      {u"\\\\?\\hid#vid_4721&pid_df25#hidraw", ""},
      {u"\\\\?\\hid#vid_4721&pid_df25#hidraw1/../sda", ""},
      {u"\\\\?\\hid#vid_4721&pid_df25#sda", ""},
      {u"\\\\?\\hid#vid_4721&pid_df25#HIDRAW1", ""},
      {u"hidraw1", ""},
      {u"", ""},
  };
  for (const auto& [path, node] : cases)
    EXPECT_EQ(linux_hid::NodeOfPath(path), node) << std::string(path.begin(), path.end());
}

TEST(AccessHint, IsOneLineNamingTheNodeAndTheRule) {
  std::string line = linux_hid::AccessHint("/dev/hidraw2");
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  EXPECT_NE(line.find("/dev/hidraw2"), std::string::npos);
  EXPECT_NE(line.find("permission"), std::string::npos);
  EXPECT_NE(line.find("udev/70-sensorhub.rules"), std::string::npos);
}

}  // namespace
