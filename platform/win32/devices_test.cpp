// The devices backend against the real system (run under wine in the checks):
// HID.DLL from the system directory, the SetupDi walk with the tool's record
// sizes, and the file calls on a path.
#include "platform/api.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

#include "platform/win32/test_support.h"

namespace {

using win32_test::TempPath;
using win32_test::Wide;

std::u16string Lower(std::u16string text) {
  for (auto& unit : text) unit = static_cast<char16_t>(std::towlower(unit));
  return text;
}

struct HidLibrary {
  HidLibrary() { module = os::LoadLibraryExW(u"HID.DLL", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32); }
  ~HidLibrary() {
    if (module != nullptr) os::FreeLibrary(module);
  }
  os::HMODULE module;
};

TEST(Win32Library, HidDllComesFromTheSystemDirectory) {
  HidLibrary hid;
  ASSERT_NE(hid.module, nullptr);
  wchar_t loaded[MAX_PATH] = {};
  wchar_t system[MAX_PATH] = {};
  ASSERT_GT(::GetModuleFileNameW(static_cast<::HMODULE>(hid.module), loaded, MAX_PATH), 0u);
  ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
  std::u16string expected = Lower(reinterpret_cast<const char16_t*>(system)) + u"\\hid.dll";
  EXPECT_EQ(Lower(reinterpret_cast<const char16_t*>(loaded)), expected);
}

TEST(Win32Library, EveryEntryPointTheToolBindsIsThere) {
  HidLibrary hid;
  ASSERT_NE(hid.module, nullptr);
  for (const char* name : {"HidD_GetHidGuid", "HidD_GetProductString", "HidD_GetAttributes",
                           "HidD_SetFeature", "HidD_GetFeature", "HidD_GetInputReport"})
    EXPECT_NE(os::GetProcAddress(hid.module, name), nullptr) << name;
}

TEST(Win32Library, MissingNamesAnswerNullWithTheirError) {
  HidLibrary hid;
  ASSERT_NE(hid.module, nullptr);
  os::SetLastError(0);
  EXPECT_EQ(os::GetProcAddress(hid.module, "HidD_NoSuchEntry"), nullptr);
  EXPECT_EQ(os::GetLastError(), static_cast<os::DWORD>(ERROR_PROC_NOT_FOUND));

  os::SetLastError(0);
  EXPECT_EQ(os::LoadLibraryExW(u"NO_SUCH_LIBRARY_4721.DLL", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32),
            nullptr);
  EXPECT_EQ(os::GetLastError(), static_cast<os::DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(Win32Library, FreeLibraryReleasesTheModule) {
  os::HMODULE module = os::LoadLibraryExW(u"HID.DLL", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  ASSERT_NE(module, nullptr);
  EXPECT_NE(os::FreeLibrary(module), 0);
}

TEST(Win32LastError, RoundTrips) {
  for (os::DWORD code : {0u, 87u, 1167u, 0xE0000001u}) {
    os::SetLastError(code);
    EXPECT_EQ(os::GetLastError(), code);
  }
}

// The walk the tool makes over the present HID interfaces, with its own record
// sizes and the HID class identifier from HID.DLL.
class Win32SetupDi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(hid_.module, nullptr);
    os::FARPROC address = os::GetProcAddress(hid_.module, "HidD_GetHidGuid");
    ASSERT_NE(address, nullptr);
    os::PHidD_GetHidGuid get_guid;
    std::memcpy(&get_guid, &address, sizeof get_guid);
    get_guid(&guid_);
    set_ = os::SetupDiGetClassDevsW(&guid_, nullptr, nullptr,
                                    os::DIGCF_PRESENT | os::DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set_, INVALID_HANDLE_VALUE);
  }
  void TearDown() override {
    if (set_ != INVALID_HANDLE_VALUE) {
      EXPECT_NE(os::SetupDiDestroyDeviceInfoList(set_), 0);
    }
  }

  HidLibrary hid_;
  os::GUID guid_{};
  os::HDEVINFO set_ = INVALID_HANDLE_VALUE;
};

TEST_F(Win32SetupDi, TheHidClassIsTheWellKnownOne) {
  const os::GUID hid_class{
      0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
  EXPECT_TRUE(guid_ == hid_class);
}

TEST_F(Win32SetupDi, EveryMemberYieldsItsPathWithTheBuildsRecordSizes) {
  os::SP_DEVICE_INTERFACE_DATA interface_data{};
  interface_data.cbSize = os::kInterfaceDataSize;
  os::DWORD index = 0;
  while (os::SetupDiEnumDeviceInterfaces(set_, nullptr, &guid_, index, &interface_data)) {
    ++index;
    os::DWORD size = 0;
    // The size query "fails" by design and reports the size.
    EXPECT_EQ(
        os::SetupDiGetDeviceInterfaceDetailW(set_, &interface_data, nullptr, 0, &size, nullptr), 0);
    EXPECT_EQ(os::GetLastError(), static_cast<os::DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_GT(size, os::kDevicePathOffset + 2);

    std::vector<unsigned char> storage(size);
    auto* detail = reinterpret_cast<os::SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());

    // The allocated size is not the record's size: refused.
    detail->cbSize = size;
    EXPECT_EQ(
        os::SetupDiGetDeviceInterfaceDetailW(set_, &interface_data, detail, size, nullptr, nullptr),
        0);

    detail->cbSize = os::kDetailDataFixedSize;
    os::DWORD reported = 0;
    ASSERT_NE(os::SetupDiGetDeviceInterfaceDetailW(set_, &interface_data, detail, size, &reported,
                                                   nullptr),
              0);
    EXPECT_EQ(reported, size);
    std::u16string path(detail->DevicePath);
    EXPECT_EQ(path.rfind(u"\\\\?\\", 0), 0u) << "member " << index;
    EXPECT_NE(Lower(path).find(u"{4d1e55b2-f16f-11cf-88cb-001111000030}"), std::u16string::npos);
  }
  EXPECT_EQ(os::GetLastError(), static_cast<os::DWORD>(ERROR_NO_MORE_ITEMS));
  // Wine shows its virtual mouse and keyboard; a Windows machine has its own.
  EXPECT_GE(index, 1u);
}

TEST_F(Win32SetupDi, AnInterfaceRecordSizeOfTheOtherBuildIsRefused) {
  os::SP_DEVICE_INTERFACE_DATA interface_data{};
  interface_data.cbSize = sizeof(void*) == 8 ? 28 : 32;
  EXPECT_EQ(os::SetupDiEnumDeviceInterfaces(set_, nullptr, &guid_, 0, &interface_data), 0);
}

TEST(Win32SetupDiSet, AnUnknownClassGivesAnEmptySet) {
  const os::GUID nothing{0x12345678, 0x4721, 0x0800, {1, 2, 3, 4, 5, 6, 7, 8}};
  os::HDEVINFO set = os::SetupDiGetClassDevsW(&nothing, nullptr, nullptr,
                                              os::DIGCF_PRESENT | os::DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  os::SP_DEVICE_INTERFACE_DATA interface_data{};
  interface_data.cbSize = os::kInterfaceDataSize;
  EXPECT_EQ(os::SetupDiEnumDeviceInterfaces(set, nullptr, &nothing, 0, &interface_data), 0);
  EXPECT_EQ(os::GetLastError(), static_cast<os::DWORD>(ERROR_NO_MORE_ITEMS));
  EXPECT_NE(os::SetupDiDestroyDeviceInfoList(set), 0);
}

// The file calls as the tool makes them on a device path, here on a plain
// file: open for reading and writing with both shares, then move bytes.
TEST(Win32Files, OpenWriteReadAndCloseAPath) {
  std::u16string path = TempPath(u"report_\u00e9\u03a9.bin");
  ::HANDLE created = ::CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(created, INVALID_HANDLE_VALUE);
  ASSERT_NE(::CloseHandle(created), 0);

  os::HANDLE file =
      os::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  unsigned char report[131];
  for (int i = 0; i < 131; ++i) report[i] = static_cast<unsigned char>(i * 7);
  os::DWORD written = 0;
  EXPECT_NE(os::WriteFile(file, report, sizeof report, &written, nullptr), 0);
  EXPECT_EQ(written, 131u);
  EXPECT_NE(os::CloseHandle(file), 0);

  file = os::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  unsigned char back[200] = {};
  os::DWORD read = 0;
  EXPECT_NE(os::ReadFile(file, back, sizeof back, &read, nullptr), 0);
  EXPECT_EQ(read, 131u);
  EXPECT_EQ(std::memcmp(back, report, sizeof report), 0);
  // At the end a read succeeds with nothing.
  EXPECT_NE(os::ReadFile(file, back, sizeof back, &read, nullptr), 0);
  EXPECT_EQ(read, 0u);
  EXPECT_NE(os::CloseHandle(file), 0);
  EXPECT_NE(::DeleteFileW(Wide(path)), 0);
}

TEST(Win32Files, AMissingPathDoesNotOpen) {
  std::u16string path = TempPath(u"no_such_device_path");
  os::SetLastError(0);
  os::HANDLE file =
      os::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(os::GetLastError(), static_cast<os::DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(Win32Files, CallsOnAnInvalidHandleFail) {
  unsigned char byte = 0;
  os::DWORD count = 0;
  EXPECT_EQ(os::ReadFile(INVALID_HANDLE_VALUE, &byte, 1, &count, nullptr), 0);
  EXPECT_EQ(os::WriteFile(INVALID_HANDLE_VALUE, &byte, 1, &count, nullptr), 0);
}

}  // namespace
