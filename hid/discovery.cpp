#include "hid/discovery.h"

#include <cstdlib>
#include <string_view>

#include "hid/binding.h"

namespace {

// The search's records live for the process, as the tool keeps them; the tool
// runs one search at a time.
os::GUID hid_guid;
os::SP_DEVICE_INTERFACE_DATA devInterfaceData;

}  // namespace

bool ContainsText(const char16_t* text, const char16_t* fragment) {
  return std::u16string_view(text).find(fragment) != std::u16string_view::npos;
}

os::HANDLE OpenHidDevice(const char16_t* fragment) {
  os::HANDLE result = os::INVALID_HANDLE_VALUE;

  HidBinding.HidD_GetHidGuid(&hid_guid);

  os::HDEVINFO device_set = os::SetupDiGetClassDevsW(&hid_guid, nullptr, nullptr,
                                                     os::DIGCF_PRESENT | os::DIGCF_DEVICEINTERFACE);
  if (device_set == os::INVALID_HANDLE_VALUE) {
    os::Printf("Failed to open handle to HID device set.");
    return os::INVALID_HANDLE_VALUE;
  }

  // The record sizes are the build's own: 28 and 6 in a 32-bit build, 32 and
  // 8 in a 64-bit one, where the 32-bit values would fail every search.
  devInterfaceData.cbSize = os::kInterfaceDataSize;
  os::DWORD member_index = 0;
  while (os::SetupDiEnumDeviceInterfaces(device_set, nullptr, &hid_guid, member_index,
                                         &devInterfaceData)) {
    ++member_index;

    os::DWORD devDetailDataSize = 0;
    os::SetupDiGetDeviceInterfaceDetailW(device_set, &devInterfaceData, nullptr, 0,
                                         &devDetailDataSize, nullptr);

    // A size query that gave no usable size, or a record that cannot be had,
    // counts as a detail that cannot be read: the search is abandoned.
    auto* detail =
        devDetailDataSize >= os::kDetailDataFixedSize
            ? static_cast<os::SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(std::malloc(devDetailDataSize))
            : nullptr;
    if (detail == nullptr) {
      os::SetupDiDestroyDeviceInfoList(device_set);
      return os::INVALID_HANDLE_VALUE;
    }
    detail->cbSize = os::kDetailDataFixedSize;

    os::DWORD ReqSize = 0;
    if (!os::SetupDiGetDeviceInterfaceDetailW(device_set, &devInterfaceData, detail,
                                              devDetailDataSize, &ReqSize, nullptr)) {
      std::free(detail);
      os::SetupDiDestroyDeviceInfoList(device_set);
      return os::INVALID_HANDLE_VALUE;
    }

    if (ContainsText(detail->DevicePath, fragment)) {
      result = os::CreateFileW(detail->DevicePath, os::GENERIC_READ | os::GENERIC_WRITE,
                               os::FILE_SHARE_READ | os::FILE_SHARE_WRITE, nullptr,
                               os::OPEN_EXISTING, 0, nullptr);
      std::free(detail);
      break;
    }
    std::free(detail);
  }

  os::SetupDiDestroyDeviceInfoList(device_set);
  return result;
}
