// The tool on the hidraw backend, end to end: a fake USB bus under umockdev
// (sysfs, /dev/hidrawN and their ioctls) shows the simulated hub, and the
// tool's own flows find it, update it and calibrate it through hidapi's real
// open, read, write and ioctl calls. Runs under umockdev-wrapper.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/run.h"
#include "hid/binding.h"
#include "hid/discovery.h"
#include "hid/transport.h"
#include "platform/api.h"
#include "platform/linux/testbed.h"
#include "protocol/frames.h"
#include "protocol/reads.h"
#include "tests/world.h"

namespace {

testbed::Bus* bus = nullptr;

class BusEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    world::Reset();
    bus = new testbed::Bus();
  }
  void TearDown() override {
    delete bus;
    bus = nullptr;
  }
};

const ::testing::Environment* const kBus = ::testing::AddGlobalTestEnvironment(new BusEnvironment);

const std::string kCompleted = "\n\r========Update Completed!!========\n\r";
const std::string kNotFound = "Can not found HID Sensor Device!!\n\r";

const os::GUID kHidClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
constexpr os::DWORD kPresentInterfaces = os::DIGCF_PRESENT | os::DIGCF_DEVICEINTERFACE;

const std::u16string kOtherKeyboardPath = u"\\\\?\\hid#vid_413c&pid_2113#hidraw0";
const std::u16string kKeyboardPath = u"\\\\?\\hid#vid_4721&pid_0800&mi_00#hidraw1";
const std::u16string kCol01Path = u"\\\\?\\hid#vid_4721&pid_0800&mi_01&col01#hidraw2";
const std::u16string kCol02Path = u"\\\\?\\hid#vid_4721&pid_0800&mi_01&col02#hidraw2";
const std::u16string kLoaderPath = u"\\\\?\\hid#vid_4721&pid_df25#hidraw1";

// Every path of a new device set, read the way the tool reads them.
std::vector<std::u16string> ListPaths() {
  os::HDEVINFO set = os::SetupDiGetClassDevsW(&kHidClass, nullptr, nullptr, kPresentInterfaces);
  EXPECT_NE(set, os::INVALID_HANDLE_VALUE);
  std::vector<std::u16string> paths;
  os::SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = os::kInterfaceDataSize;
  for (os::DWORD i = 0; os::SetupDiEnumDeviceInterfaces(set, nullptr, &kHidClass, i, &data); ++i) {
    os::DWORD size = 0;
    os::SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &size, nullptr);
    std::vector<std::uint8_t> storage(size);
    auto* detail = reinterpret_cast<os::SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = os::kDetailDataFixedSize;
    EXPECT_TRUE(os::SetupDiGetDeviceInterfaceDetailW(set, &data, detail, size, nullptr, nullptr));
    paths.emplace_back(detail->DevicePath);
  }
  EXPECT_EQ(os::GetLastError(), os::ERROR_NO_MORE_ITEMS);
  EXPECT_TRUE(os::SetupDiDestroyDeviceInfoList(set));
  return paths;
}

os::HANDLE Open(const std::u16string& path) {
  return os::CreateFileW(path.c_str(), os::GENERIC_READ | os::GENERIC_WRITE,
                         os::FILE_SHARE_READ | os::FILE_SHARE_WRITE, nullptr, os::OPEN_EXISTING, 0,
                         nullptr);
}

// A new hub, and the bus showing it, as a search would find it.
void Fresh(sim::Options options = {}) {
  world::Reset(std::move(options));
  bus->Sync();
}

sim::Options InMode(sim::Mode mode) {
  sim::Options options;
  options.mode = mode;
  return options;
}

sim::Options Calibrated(std::uint8_t mark) {
  sim::Options options;
  options.calibrated = mark;
  return options;
}

// The bus's changes from the nth event on, as "+hidraw1 4721:df25 if0".
std::vector<std::string> EventsFrom(std::size_t first) {
  std::vector<std::string> texts;
  const auto& events = bus->events();
  for (std::size_t i = first; i < events.size(); ++i) {
    char text[64];
    std::snprintf(text, sizeof text, "%c%s %04x:%04x", events[i].added ? '+' : '-',
                  events[i].node.c_str(), events[i].vendor_id, events[i].product_id);
    texts.push_back(text);
  }
  return texts;
}

// ---------------------------------------------------------------------------
// The bus as SetupDi shows it.

TEST(HidrawBus, ListsEachCollectionUnderItsWindowsPath) {
  Fresh();
  EXPECT_EQ(ListPaths(), (std::vector<std::u16string>{kOtherKeyboardPath, kKeyboardPath, kCol01Path,
                                                      kCol02Path}));
  // Only collection 2 of interface 1 holds the hub's fragment.
  EXPECT_FALSE(ContainsText(kCol01Path.c_str(), SENSOR_HUB_ID));
  EXPECT_TRUE(ContainsText(kCol02Path.c_str(), SENSOR_HUB_ID));

  Fresh(InMode(sim::Mode::Loader));
  EXPECT_EQ(ListPaths(), (std::vector<std::u16string>{kOtherKeyboardPath, kLoaderPath}));
}

struct FragmentCase {
  const char16_t* fragment;
  bool opens;
};

TEST(HidrawBus, DiscoveryMatchesTheExactFragment) {
  Fresh();
  ASSERT_TRUE(LoadHidLibrary());
  const FragmentCase cases[] = {
      {SENSOR_HUB_ID, true},
      {u"vid_4721&pid_0800&mi_01&col01", true},
      {u"VID_4721&PID_0800", false},  // case counts
      {u"mi_01&col03", false},
      {DFU_LOADER_ID, false},  // the hub is in normal mode
      {u"", true},             // the first interface: the other keyboard
  };
  for (const auto& c : cases) {
    os::HANDLE handle = OpenHidDevice(c.fragment);
    EXPECT_EQ(handle != os::INVALID_HANDLE_VALUE, c.opens)
        << std::string(c.fragment, c.fragment + std::char_traits<char16_t>::length(c.fragment));
    if (handle != os::INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(os::CloseHandle(handle));
    }
  }
  // The hub's handle reaches the hub: a status query goes out and back as
  // two feature ioctls.
  os::HANDLE hub = OpenHidDevice(SENSOR_HUB_ID);
  int before = bus->FeatureRequests();
  std::uint8_t status = 0xEE, state = 0xEE;
  EXPECT_EQ(QueryStatus(hub, &status, &state), IO_OK);
  EXPECT_EQ(bus->FeatureRequests() - before, 2);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(state, 0);
  EXPECT_TRUE(os::CloseHandle(hub));
}

TEST(HidrawBus, SetupDiKeepsItsRecordSizeRules) {
  Fresh();
  os::HDEVINFO set = os::SetupDiGetClassDevsW(&kHidClass, nullptr, nullptr, kPresentInterfaces);
  ASSERT_NE(set, os::INVALID_HANDLE_VALUE);

  os::SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = os::kInterfaceDataSize + 4;
  EXPECT_FALSE(os::SetupDiEnumDeviceInterfaces(set, nullptr, &kHidClass, 0, &data));
  EXPECT_EQ(os::GetLastError(), os::ERROR_INVALID_USER_BUFFER);
  data.cbSize = os::kInterfaceDataSize;
  ASSERT_TRUE(os::SetupDiEnumDeviceInterfaces(set, nullptr, &kHidClass, 3, &data));
  EXPECT_FALSE(os::SetupDiEnumDeviceInterfaces(set, nullptr, &kHidClass, 4, &data));
  EXPECT_EQ(os::GetLastError(), os::ERROR_NO_MORE_ITEMS);
  ASSERT_TRUE(os::SetupDiEnumDeviceInterfaces(set, nullptr, &kHidClass, 3, &data));

  // The size query fails with the size filled in.
  os::DWORD size = 0;
  EXPECT_FALSE(os::SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &size, nullptr));
  EXPECT_EQ(os::GetLastError(), os::ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, os::kDevicePathOffset + (kCol02Path.size() + 1) * sizeof(char16_t));

  std::vector<std::uint8_t> storage(size);
  auto* detail = reinterpret_cast<os::SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
  struct ReadCase {
    os::DWORD cb_size, buffer_size, error;
  };
  const ReadCase refused[] = {
      {size, size, os::ERROR_INVALID_USER_BUFFER},  // cbSize is the fixed part, never the size
      {os::kDetailDataFixedSize, size - 2, os::ERROR_INSUFFICIENT_BUFFER},
  };
  for (const auto& c : refused) {
    detail->cbSize = c.cb_size;
    EXPECT_FALSE(
        os::SetupDiGetDeviceInterfaceDetailW(set, &data, detail, c.buffer_size, nullptr, nullptr));
    EXPECT_EQ(os::GetLastError(), c.error);
  }
  detail->cbSize = os::kDetailDataFixedSize;
  os::DWORD required = 0;
  EXPECT_TRUE(os::SetupDiGetDeviceInterfaceDetailW(set, &data, detail, size, &required, nullptr));
  EXPECT_EQ(required, size);
  EXPECT_EQ(std::u16string(detail->DevicePath), kCol02Path);

  EXPECT_TRUE(os::SetupDiDestroyDeviceInfoList(set));
  EXPECT_FALSE(os::SetupDiDestroyDeviceInfoList(set));
  EXPECT_FALSE(os::SetupDiEnumDeviceInterfaces(set, nullptr, &kHidClass, 0, &data));

  // Only sets of present HID interfaces are made.
  const os::GUID other = {
      0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
  EXPECT_EQ(os::SetupDiGetClassDevsW(&other, nullptr, nullptr, kPresentInterfaces),
            os::INVALID_HANDLE_VALUE);
  EXPECT_EQ(os::SetupDiGetClassDevsW(&kHidClass, nullptr, nullptr, os::DIGCF_PRESENT),
            os::INVALID_HANDLE_VALUE);
  EXPECT_EQ(os::SetupDiGetClassDevsW(&kHidClass, u"USB", nullptr, kPresentInterfaces),
            os::INVALID_HANDLE_VALUE);
}

TEST(HidrawBus, ASetIsASnapshotAndAPathOpensOnlyItsOwnDevice) {
  Fresh();
  os::HDEVINFO before = os::SetupDiGetClassDevsW(&kHidClass, nullptr, nullptr, kPresentInterfaces);
  os::HANDLE keyboard = Open(kKeyboardPath);
  os::HANDLE hub = Open(kCol02Path);
  ASSERT_NE(hub, os::INVALID_HANDLE_VALUE);
  ASSERT_EQ(CMD_ENTER_DFU(hub), IO_OK);
  os::Sleep(1500);  // the loader is on the bus after 1.2 s

  // A new set shows the loader, on the node the keyboard had.
  EXPECT_EQ(ListPaths(), (std::vector<std::u16string>{kOtherKeyboardPath, kLoaderPath}));
  // The older set still lists what was there when it was built.
  os::SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = os::kInterfaceDataSize;
  EXPECT_TRUE(os::SetupDiEnumDeviceInterfaces(before, nullptr, &kHidClass, 3, &data));
  EXPECT_TRUE(os::SetupDiDestroyDeviceInfoList(before));

  // hidraw1 is the loader now: the hub's old path to it opens nothing, and
  // the handles of the hub that left reach nothing.
  EXPECT_EQ(Open(kKeyboardPath), os::INVALID_HANDLE_VALUE);
  EXPECT_EQ(os::GetLastError(), os::ERROR_FILE_NOT_FOUND);
  std::uint8_t status = 0, state = 0;
  EXPECT_EQ(QueryStatus(hub, &status, &state), IO_FAILED);
  EXPECT_EQ(QueryStatus(keyboard, &status, &state), IO_FAILED);
  os::HANDLE loader = Open(kLoaderPath);
  ASSERT_NE(loader, os::INVALID_HANDLE_VALUE);
  EXPECT_EQ(QueryStatus(loader, &status, &state), IO_OK);
  EXPECT_EQ(state, 2);  // the loader, idle
  for (os::HANDLE handle : {keyboard, hub, loader}) EXPECT_TRUE(os::CloseHandle(handle));
}

// ---------------------------------------------------------------------------
// The rest of HID.DLL and the file calls.

TEST(HidrawBackend, TheLibraryIsItsOwnAndCountsItsReferences) {
  os::HMODULE module = os::LoadLibraryExW(u"hid.DLL", nullptr, os::LOAD_LIBRARY_SEARCH_SYSTEM32);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(os::LoadLibraryExW(u"HID", nullptr, 0), module);
  EXPECT_EQ(os::GetProcAddress(module, "HidD_FlushQueue"), nullptr);
  EXPECT_EQ(os::GetLastError(), os::ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(os::LoadLibraryExW(u"setupapi.dll", nullptr, 0), nullptr);
  EXPECT_EQ(os::GetLastError(), os::ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(os::LoadLibraryExW(u"hid.dll.evil", nullptr, 0), nullptr);

  // The binding's own load stays; these two references go.
  ASSERT_TRUE(LoadHidLibrary());
  EXPECT_TRUE(os::FreeLibrary(module));
  EXPECT_TRUE(os::FreeLibrary(module));
  EXPECT_NE(os::GetProcAddress(HidBinding.module, "HidD_GetFeature"), nullptr);
  EXPECT_FALSE(os::FreeLibrary(reinterpret_cast<os::HMODULE>(&module)));
}

TEST(HidrawBackend, ReportsOfEveryKindReachTheHub) {
  Fresh();
  ASSERT_TRUE(LoadHidLibrary());
  os::HANDLE hub = Open(kCol02Path);
  ASSERT_NE(hub, os::INVALID_HANDLE_VALUE);

  // Input report 1 (64 bytes with its number), by read and by ioctl.
  std::uint8_t input[100] = {};
  os::DWORD got = 0;
  EXPECT_TRUE(os::ReadFile(hub, input, sizeof input, &got, nullptr));
  EXPECT_EQ(got, 64u);
  EXPECT_EQ(input[0], 1);
  std::uint8_t report[64] = {1};
  EXPECT_TRUE(HidBinding.HidD_GetInputReport(hub, report, sizeof report));
  EXPECT_EQ(report[0], 1);
  // The output report is 64 bytes: a longer write is cut, and counts.
  std::uint8_t output[80] = {1};
  os::DWORD written = 0;
  EXPECT_TRUE(os::WriteFile(hub, output, sizeof output, &written, nullptr));
  EXPECT_EQ(written, 64u);

  // A feature report moves whole or not at all: the device's report is 131
  // bytes, so a 140-byte get comes back short and fails.
  std::uint8_t feature[140] = {2, 0x86, 2};
  ASSERT_TRUE(HidBinding.HidD_SetFeature(hub, feature, 131));
  EXPECT_TRUE(HidBinding.HidD_GetFeature(hub, feature, 131));
  EXPECT_FALSE(HidBinding.HidD_GetFeature(hub, feature, sizeof feature));
  EXPECT_FALSE(HidBinding.HidD_SetFeature(hub, feature, 0));

  // What enumeration said about the device.
  struct {
    os::ULONG Size;
    std::uint16_t VendorID, ProductID, VersionNumber;
  } attributes{};
  EXPECT_TRUE(HidBinding.HidD_GetAttributes(hub, &attributes));
  EXPECT_EQ(attributes.VendorID, 0x4721);
  EXPECT_EQ(attributes.ProductID, 0x0800);
  EXPECT_EQ(attributes.VersionNumber, 0x0170);
  char16_t product[64] = {};
  EXPECT_TRUE(HidBinding.HidD_GetProductString(hub, product, sizeof product));
  EXPECT_EQ(std::u16string(product), u"Velkor Sensor Hub");
  EXPECT_FALSE(HidBinding.HidD_GetProductString(hub, product, 8));
  EXPECT_EQ(os::GetLastError(), os::ERROR_INSUFFICIENT_BUFFER);

  EXPECT_TRUE(os::CloseHandle(hub));
  // A closed handle is refused by every call, and never reaches hidapi.
  EXPECT_FALSE(os::CloseHandle(hub));
  EXPECT_EQ(os::GetLastError(), os::ERROR_INVALID_HANDLE);
  EXPECT_FALSE(HidBinding.HidD_SetFeature(hub, feature, 131));
  EXPECT_FALSE(os::ReadFile(hub, input, sizeof input, &got, nullptr));
  EXPECT_FALSE(HidBinding.HidD_SetFeature(os::INVALID_HANDLE_VALUE, feature, 131));
}

TEST(HidrawBackend, OpenTakesOnlyPresentHidrawPaths) {
  Fresh();
  const std::u16string refused[] = {
      u"\\\\?\\hid#vid_4721&pid_0800&mi_01&col02#hidraw9",  // no such node
      u"\\\\?\\hid#vid_4721&pid_0800&mi_01&col03#hidraw2",  // no such collection
      u"\\\\?\\hid#vid_4721&pid_0800&mi_01&col02#../hidraw2",
      u"/dev/hidraw2",
  };
  for (const auto& path : refused) {
    EXPECT_EQ(Open(path), os::INVALID_HANDLE_VALUE);
    EXPECT_EQ(os::GetLastError(), os::ERROR_FILE_NOT_FOUND);
  }
  EXPECT_EQ(os::CreateFileW(kCol02Path.c_str(), os::GENERIC_READ, 0, nullptr, 1 /*CREATE_NEW*/, 0,
                            nullptr),
            os::INVALID_HANDLE_VALUE);
  EXPECT_EQ(os::GetLastError(), os::ERROR_INVALID_PARAMETER);
}

// A node the user may not open: the tool sees no device, its standard output
// stays as it was, and standard error tells why and what to install.
TEST(HidrawBackend, ANodeWithoutPermissionLeavesAHintOnStandardError) {
  Fresh();
  ListPaths();  // the hub's nodes are on the bus
  bus->OpenToOtherUsers();
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);

  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(pipe_ends[1], STDERR_FILENO);
    ::close(pipe_ends[0]);
    // Root opens whatever it likes: the check runs as nobody. Otherwise the
    // node is made unreadable to its owner.
    if (::geteuid() == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(10);
    } else if (::chmod(bus->NodeFile("hidraw2").c_str(), 0) != 0) {
      ::_exit(11);
    }
    if (!LoadHidLibrary()) ::_exit(12);
    int code = 0;
    for (int attempt = 0; attempt < 3; ++attempt)
      if (OpenHidDevice(SENSOR_HUB_ID) != os::INVALID_HANDLE_VALUE) code = 13;
    if (code == 0 && os::GetLastError() != os::ERROR_ACCESS_DENIED) code = 14;
    if (code == 0 && !world::Stdout().empty()) code = 15;
    ::_exit(code);
  }
  ::close(pipe_ends[1]);
  std::string error;
  char chunk[256];
  for (ssize_t n; (n = ::read(pipe_ends[0], chunk, sizeof chunk)) > 0;)
    error.append(chunk, static_cast<std::size_t>(n));
  ::close(pipe_ends[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  if (::geteuid() != 0) ::chmod(bus->NodeFile("hidraw2").c_str(), 0600);

  // One line for three searches, naming the node and the rule.
  EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << error;
  EXPECT_EQ(error.rfind("sensorhub: no permission to open /dev/hidraw2", 0), 0u) << error;
  EXPECT_NE(error.find("udev/70-sensorhub.rules"), std::string::npos) << error;
}

// ---------------------------------------------------------------------------
// Whole runs of the tool.

TEST(HidrawRun, NoHubOnTheBus) {
  Fresh(InMode(sim::Mode::Gone));
  EXPECT_EQ(world::RunTool(), 0);
  EXPECT_EQ(world::Stdout(), kNotFound);
  EXPECT_EQ(sim::SleepCalls(), 20u);
  EXPECT_EQ(sim::NowMs(), 10000u);
}

TEST(HidrawRun, FullUpdateFollowsTheHubIntoItsLoader) {
  Fresh();
  std::size_t first = bus->events().size();
  sim::Memory before = sim::TheHub().memory();
  auto image = world::PatternImage();
  int requests = bus->FeatureRequests();
  EXPECT_EQ(world::RunTool({world::WriteImageFile(image)}), 0);

  EXPECT_EQ(world::Stdout(), "Calibrated:255\n\r" + world::Progress() + kCompleted);
  const auto& memory = sim::TheHub().memory();
  EXPECT_TRUE(world::Same(memory, 0x1000, 0x8000, image.data()));
  EXPECT_TRUE(world::Same(memory, 0, 0x1000, before.data()));
  // The hub left, the loader came on the lowest free node; the run ends
  // while the hub is on its way back.
  EXPECT_EQ(EventsFrom(first), (std::vector<std::string>{"-hidraw1 4721:0800", "-hidraw2 4721:0800",
                                                         "+hidraw1 4721:df25"}));
  // 448 blocks, each a command and its status polls, all through hidraw.
  EXPECT_GT(bus->FeatureRequests() - requests, 448 * 3);
}

TEST(HidrawRun, KeepUpdateWaitsForTheHubToComeBack) {
  Fresh(Calibrated(200));
  std::size_t first = bus->events().size();
  sim::Memory before = sim::TheHub().memory();
  auto image = world::PatternImage();
  EXPECT_EQ(world::RunTool({world::WriteImageFile(image)}), 0);

  EXPECT_EQ(world::Stdout(), "Calibrated:200\n\r" + world::Progress() + kCompleted);
  const auto& memory = sim::TheHub().memory();
  EXPECT_TRUE(world::Same(memory, 0x1000, 0x7C00, image.data()));
  EXPECT_TRUE(world::Same(memory, 0x7C00, 0x8000, before.data() + 0x7C00));
  EXPECT_EQ(
      EventsFrom(first),
      (std::vector<std::string>{"-hidraw1 4721:0800", "-hidraw2 4721:0800", "+hidraw1 4721:df25",
                                "-hidraw1 4721:df25", "+hidraw1 4721:0800", "+hidraw2 4721:0800"}));
  EXPECT_EQ(bus->HubNodes(), (std::vector<std::string>{"hidraw1", "hidraw2"}));
}

TEST(HidrawRun, CalibrationOfACalibratedHubErasesThenPasses) {
  Fresh(Calibrated(200));
  std::size_t first = bus->events().size();
  auto real_start = std::chrono::steady_clock::now();
  EXPECT_EQ(world::RunTool(), 0);

  const std::string start = "Calibrated:200\n\rErase calibrated data\n\r";
  EXPECT_EQ(world::Stdout().substr(0, start.size()), start);
  EXPECT_EQ(world::Stdout().substr(world::Stdout().size() - 80), std::string(80, '='));
  const auto& boxes = script::Boxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].caption, u"Step 1.");
  EXPECT_EQ(boxes[3].caption, u"Validation Pass");
  EXPECT_EQ(sim::TheHub().mark(), 0xC8);  // the new calibration
  EXPECT_EQ(
      EventsFrom(first),
      (std::vector<std::string>{"-hidraw1 4721:0800", "-hidraw2 4721:0800", "+hidraw1 4721:df25",
                                "-hidraw1 4721:df25", "+hidraw1 4721:0800", "+hidraw2 4721:0800"}));
  // Seconds of the hub's time, on the virtual clock.
  EXPECT_GT(sim::NowMs(), 8000u);
  EXPECT_LT(std::chrono::steady_clock::now() - real_start, std::chrono::seconds(5));
}

TEST(HidrawRun, PlainCalibrationPassesAndClosesTheHub) {
  Fresh();
  int clients = bus->OpenClients();
  EXPECT_EQ(world::RunTool(), 0);
  EXPECT_EQ(world::Stdout(), "Calibrated:255\n\r" + std::string(80, '='));
  ASSERT_EQ(script::Boxes().size(), 4u);
  EXPECT_EQ(script::Boxes()[3].text, u"Calibration & Validation PASSED");
  EXPECT_EQ(sim::TheHub().mark(), 0xC8);
  // The pass ending closed the hub's node.
  EXPECT_EQ(bus->OpenClients(), clients);
}

}  // namespace
