// The devices concern of the os seam, answered by the simulated hub: the
// library loader hands out the hub's own HID.DLL entry points, SetupDi shows
// the simulated bus, and device files lead to the hub.
#include <cstring>
#include <string>

#include "platform/api.h"
#include "sim/hub.h"

namespace {

os::DWORD last_error = 0;

// The module handle of the simulated HID.DLL.
char hid_module;

bool SameNameIgnoringCase(const os::WCHAR* a, const char16_t* b) {
  for (; *a && *b; ++a, ++b) {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    if (lower(*a) != lower(*b)) return false;
  }
  return *a == *b;
}

// HIDD_ATTRIBUTES as HID.DLL fills it.
struct HiddAttributes {
  os::ULONG Size;
  std::uint16_t VendorID;
  std::uint16_t ProductID;
  std::uint16_t VersionNumber;
};

void OS_WINAPI SimGetHidGuid(os::GUID* guid) {
  *guid = sim::kHidGuid;
}

os::BOOLEAN OS_WINAPI SimGetProductString(os::HANDLE device, void* buffer, os::ULONG length) {
  static constexpr char16_t kProduct[] = u"Velkor Sensor Hub";
  if (!sim::TheHub().HandleIsOpen(device) || length < sizeof kProduct) return 0;
  std::memcpy(buffer, kProduct, sizeof kProduct);
  return 1;
}

os::BOOLEAN OS_WINAPI SimGetAttributes(os::HANDLE device, void* attributes) {
  if (!sim::TheHub().HandleIsOpen(device)) return 0;
  bool loader = sim::TheHub().mode() == sim::Mode::Loader;
  HiddAttributes filled{sizeof(HiddAttributes), 0x4721,
                        static_cast<std::uint16_t>(loader ? 0xDF25 : 0x0800), 0x0170};
  std::memcpy(attributes, &filled, sizeof filled);
  return 1;
}

os::BOOLEAN OS_WINAPI SimSetFeature(os::HANDLE device, void* report, os::ULONG length) {
  return sim::TheHub().SetFeature(device, static_cast<const std::uint8_t*>(report), length) ? 1 : 0;
}

os::BOOLEAN OS_WINAPI SimGetFeature(os::HANDLE device, void* report, os::ULONG length) {
  return sim::TheHub().GetFeature(device, static_cast<std::uint8_t*>(report), length) ? 1 : 0;
}

os::BOOLEAN OS_WINAPI SimGetInputReport(os::HANDLE device, void* report, os::ULONG length) {
  std::size_t got = 0;
  return sim::TheHub().ReadInput(device, static_cast<std::uint8_t*>(report), length, &got) ? 1 : 0;
}

template <typename Function>
os::FARPROC AsFarproc(Function function) {
  return reinterpret_cast<os::FARPROC>(function);
}

}  // namespace

namespace os {

DWORD GetLastError() {
  return last_error;
}
void SetLastError(DWORD code) {
  last_error = code;
}

HMODULE LoadLibraryExW(const WCHAR* name, HANDLE /*file*/, DWORD flags) {
  auto& counters = sim::TheHub().counters();
  counters.load_flags = flags;
  if (sim::TheHub().options().hid_library_missing || !SameNameIgnoringCase(name, u"HID.DLL")) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return &hid_module;
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
  auto& hub = sim::TheHub();
  hub.counters().lookups.push_back(name);
  if (module != &hid_module || hub.options().missing_entry_points.count(name)) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  const std::string wanted(name);
  if (wanted == "HidD_GetHidGuid") return AsFarproc(&SimGetHidGuid);
  if (wanted == "HidD_GetProductString") return AsFarproc(&SimGetProductString);
  if (wanted == "HidD_GetAttributes") return AsFarproc(&SimGetAttributes);
  if (wanted == "HidD_SetFeature") return AsFarproc(&SimSetFeature);
  if (wanted == "HidD_GetFeature") return AsFarproc(&SimGetFeature);
  if (wanted == "HidD_GetInputReport") return AsFarproc(&SimGetInputReport);
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
  if (module != &hid_module) return 0;
  ++sim::TheHub().counters().library_frees;
  return 1;
}

HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, const WCHAR* enumerator, HWND /*parent*/,
                              DWORD flags) {
  // Only the one kind of search the tool makes is modelled.
  if (!class_guid || !(*class_guid == sim::kHidGuid) || enumerator != nullptr ||
      flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  return sim::TheHub().BuildSet();
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, void* /*device_info*/, const GUID* class_guid,
                                 DWORD member_index, SP_DEVICE_INTERFACE_DATA* interface_data) {
  const auto* paths = sim::TheHub().FindSet(set);
  if (!paths || !class_guid || !interface_data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (interface_data->cbSize != kInterfaceDataSize) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return 0;
  }
  if (member_index >= paths->size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return 0;
  }
  interface_data->InterfaceClassGuid = *class_guid;
  interface_data->Flags = 1;  // SPINT_ACTIVE
  interface_data->Reserved = ULONG_PTR{member_index} + 1;
  return 1;
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interface_data,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD detail_size,
                                      DWORD* required_size, void* /*device_info*/) {
  auto& hub = sim::TheHub();
  const auto* paths = hub.FindSet(set);
  if (!paths || !interface_data || interface_data->Reserved == 0 ||
      interface_data->Reserved > paths->size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t member = interface_data->Reserved - 1;
  const std::u16string& path = (*paths)[member];
  auto needed = static_cast<DWORD>(kDevicePathOffset + (path.size() + 1) * sizeof(WCHAR));
  if (required_size) *required_size = needed;
  if (!detail) {
    SetLastError(detail_size == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER);
    return 0;
  }
  if (detail_size != needed) ++hub.counters().detail_size_mismatches;
  if (static_cast<int>(member) == hub.options().fail_detail_member) {
    SetLastError(ERROR_GEN_FAILURE);
    return 0;
  }
  if (detail->cbSize != kDetailDataFixedSize) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return 0;
  }
  if (detail_size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
  return 1;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  return sim::TheHub().DestroySet(set) ? 1 : 0;
}

HANDLE CreateFileW(const WCHAR* path, DWORD access, DWORD share, void* /*security*/,
                   DWORD disposition, DWORD flags, HANDLE /*template_file*/) {
  auto& counters = sim::TheHub().counters();
  counters.open_access = access;
  counters.open_share = share;
  counters.open_disposition = disposition;
  counters.open_flags = flags;
  return sim::TheHub().Open(path);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD to_read, DWORD* bytes_read, void* /*overlapped*/) {
  std::size_t got = 0;
  if (!sim::TheHub().ReadInput(file, static_cast<std::uint8_t*>(buffer), to_read, &got)) return 0;
  if (bytes_read) *bytes_read = static_cast<DWORD>(got);
  return 1;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD to_write, DWORD* bytes_written,
               void* /*overlapped*/) {
  std::size_t written = 0;
  if (!sim::TheHub().WriteOutput(file, static_cast<const std::uint8_t*>(buffer), to_write,
                                 &written))
    return 0;
  if (bytes_written) *bytes_written = static_cast<DWORD>(written);
  return 1;
}

BOOL CloseHandle(HANDLE handle) {
  return sim::TheHub().Close(handle) ? 1 : 0;
}

}  // namespace os
