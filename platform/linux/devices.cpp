// The devices concern of the os seam on Linux: the hub through the kernel's
// hidraw interface, by way of hidapi. The library loader answers "HID.DLL"
// with this backend's own entry points; SetupDi lists hidapi's collections
// under Windows-shaped paths; device files are hidraw nodes.
#include <libudev.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <hidapi.h>

#include "platform/api.h"
#include "platform/linux/device_paths.h"

namespace {

os::DWORD last_error = 0;

void Fail(os::DWORD code) {
  last_error = code;
}

// The one place where system errors become the codes the seam reports.
os::DWORD ErrorFromErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return os::ERROR_ACCESS_DENIED;
    case ENOENT:
    case ENXIO:
      return os::ERROR_FILE_NOT_FOUND;
    case ENODEV:
      return os::ERROR_DEVICE_NOT_CONNECTED;
    default:
      return os::ERROR_GEN_FAILURE;
  }
}

// {4D1E55B2-F16F-11CF-88CB-001111000030}, the HID interface class.
constexpr os::GUID kHidClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// ---------------------------------------------------------------------------
// The library: one module, loaded by reference count as Windows does.
char hid_module;
int module_references = 0;

bool IsHidLibraryName(const os::WCHAR* name) {
  // Windows compares module names without regard to case and adds ".dll" to
  // a name that has no extension.
  static constexpr char16_t kName[] = u"hid.dll";
  std::size_t i = 0;
  for (; name[i] != 0; ++i) {
    char16_t unit = name[i];
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
    if (i >= 7 || unit != kName[i]) return false;
  }
  return i == 7 || i == 3;
}

// ---------------------------------------------------------------------------
// The collections present now, each with its Windows-shaped path.
struct Present {
  std::u16string path;
  std::string hid_path;  // the node as hidapi names it: "/dev/hidraw2"
  unsigned vendor_id = 0, product_id = 0, release = 0;
  std::u16string product;
};

std::u16string ToUtf16(const wchar_t* text) {
  std::u16string wide;
  if (text == nullptr) return wide;
  for (; *text != 0; ++text) {
    auto code = static_cast<char32_t>(*text);
    if (code >= 0x10000 && code <= 0x10FFFF) {
      code -= 0x10000;
      wide.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      wide.push_back(static_cast<char16_t>(code > 0x10FFFF ? 0xFFFD : code));
    }
  }
  return wide;
}

std::string BaseName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash ? slash + 1 : path;
}

unsigned Attribute(udev_device* device, const char* name, int base) {
  const char* text = udev_device_get_sysattr_value(device, name);
  return text ? static_cast<unsigned>(std::strtoul(text, nullptr, base)) : 0;
}

// hidapi tells the interface but not whether the device has others: sysfs's
// USB device above the hidraw node does.
bool IsCompositeNode(udev* context, const std::string& node) {
  if (context == nullptr) return false;
  udev_device* raw = udev_device_new_from_subsystem_sysname(context, "hidraw", node.c_str());
  if (raw == nullptr) return false;
  bool composite = false;
  if (udev_device* usb = udev_device_get_parent_with_subsystem_devtype(raw, "usb", "usb_device")) {
    linux_hid::UsbDevice facts;
    facts.interfaces = Attribute(usb, "bNumInterfaces", 10);
    facts.device_class = Attribute(usb, "bDeviceClass", 16);
    facts.device_subclass = Attribute(usb, "bDeviceSubClass", 16);
    facts.device_protocol = Attribute(usb, "bDeviceProtocol", 16);
    composite = linux_hid::IsComposite(facts);
  }
  udev_device_unref(raw);
  return composite;
}

// False when the HID layer cannot be used at all; an empty list is a bus with
// no HID device on it. hidapi 0.13 lists one entry per collection that has a
// usage, nested ones included: a descriptor with nested collections gets more
// "&col" paths than Windows gives it, all of them on the same node.
bool ListPresent(std::vector<Present>* present) {
  if (hid_init() != 0) return false;
  hid_device_info* list = hid_enumerate(0, 0);
  udev* context = udev_new();

  std::vector<linux_hid::Collection> collections;
  for (hid_device_info* info = list; info != nullptr; info = info->next) {
    if (info->path == nullptr) continue;
    linux_hid::Collection collection;
    collection.vendor_id = info->vendor_id;
    collection.product_id = info->product_id;
    collection.interface_number = info->interface_number;
    collection.node = BaseName(info->path);
    collection.composite =
        info->bus_type == HID_API_BUS_USB && IsCompositeNode(context, collection.node);
    collections.push_back(collection);

    Present entry;
    entry.hid_path = info->path;
    entry.vendor_id = info->vendor_id;
    entry.product_id = info->product_id;
    entry.release = info->release_number;
    entry.product = ToUtf16(info->product_string);
    present->push_back(std::move(entry));
  }
  if (context != nullptr) udev_unref(context);
  hid_free_enumeration(list);

  auto paths = linux_hid::DevicePaths(collections);
  for (std::size_t i = 0; i < paths.size(); ++i) (*present)[i].path = std::move(paths[i]);
  return true;
}

// ---------------------------------------------------------------------------
// Device information sets: a snapshot of the paths at the time of the call.
struct DeviceSet {
  std::vector<std::u16string> paths;
};
std::vector<std::unique_ptr<DeviceSet>> sets;

DeviceSet* FindSet(os::HDEVINFO handle) {
  for (auto& set : sets)
    if (set.get() == handle) return set.get();
  return nullptr;
}

// ---------------------------------------------------------------------------
// Open devices. A handle is the address of its record, checked against the
// records before any use, so a stale or foreign handle fails instead of
// reaching hidapi.
struct OpenDevice {
  hid_device* device = nullptr;
  unsigned vendor_id = 0, product_id = 0, release = 0;
  std::u16string product;
};
std::vector<std::unique_ptr<OpenDevice>> open_devices;

OpenDevice* FindDevice(os::HANDLE handle) {
  for (auto& device : open_devices)
    if (device.get() == handle) return device.get();
  Fail(os::ERROR_INVALID_HANDLE);
  return nullptr;
}

// Nodes whose access hint has been given: a search that polls twenty times
// tells it once.
std::set<std::string> hinted_nodes;

void HintIfNotPermitted(const std::string& hid_path) {
  if (::access(hid_path.c_str(), R_OK | W_OK) == 0) return;
  if (errno != EACCES && errno != EPERM) return;
  Fail(os::ERROR_ACCESS_DENIED);
  if (!hinted_nodes.insert(hid_path).second) return;
  std::string line = linux_hid::AccessHint(hid_path);
  std::fputs(line.c_str(), stderr);
}

// ---------------------------------------------------------------------------
// HID.DLL's entry points.
struct HiddAttributes {
  os::ULONG Size;
  std::uint16_t VendorID;
  std::uint16_t ProductID;
  std::uint16_t VersionNumber;
};

void OS_WINAPI GetHidGuid(os::GUID* guid) {
  if (guid != nullptr) *guid = kHidClass;
}

os::BOOLEAN OS_WINAPI GetProductString(os::HANDLE handle, void* buffer, os::ULONG length) {
  OpenDevice* device = FindDevice(handle);
  if (device == nullptr || buffer == nullptr) return 0;
  std::size_t bytes = (device->product.size() + 1) * sizeof(char16_t);
  if (length < bytes) {
    Fail(os::ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, device->product.c_str(), bytes);
  return 1;
}

os::BOOLEAN OS_WINAPI GetAttributes(os::HANDLE handle, void* attributes) {
  OpenDevice* device = FindDevice(handle);
  if (device == nullptr || attributes == nullptr) return 0;
  HiddAttributes filled{sizeof(HiddAttributes), static_cast<std::uint16_t>(device->vendor_id),
                        static_cast<std::uint16_t>(device->product_id),
                        static_cast<std::uint16_t>(device->release)};
  std::memcpy(attributes, &filled, sizeof filled);
  return 1;
}

// A report moves whole or not at all: a short transfer is a failure, as
// HID.DLL never hands back part of a report.
bool Whole(int transferred, os::ULONG length) {
  if (transferred < 0) {
    Fail(ErrorFromErrno(errno));
    return false;
  }
  if (static_cast<os::ULONG>(transferred) != length) {
    Fail(os::ERROR_GEN_FAILURE);
    return false;
  }
  return true;
}

// One whole report through hidapi, as a HID.DLL entry point moves it.
template <typename Transfer>
os::BOOLEAN WholeReport(os::HANDLE handle, void* report, os::ULONG length, Transfer transfer) {
  OpenDevice* device = FindDevice(handle);
  if (device == nullptr) return 0;
  if (report == nullptr || length == 0) {
    Fail(os::ERROR_INVALID_PARAMETER);
    return 0;
  }
  errno = 0;
  int moved = transfer(device->device, static_cast<unsigned char*>(report), length);
  return Whole(moved, length) ? 1 : 0;
}

os::BOOLEAN OS_WINAPI SetFeature(os::HANDLE handle, void* report, os::ULONG length) {
  return WholeReport(handle, report, length, hid_send_feature_report);
}

os::BOOLEAN OS_WINAPI GetFeature(os::HANDLE handle, void* report, os::ULONG length) {
  return WholeReport(handle, report, length, hid_get_feature_report);
}

os::BOOLEAN OS_WINAPI GetInputReport(os::HANDLE handle, void* report, os::ULONG length) {
  return WholeReport(handle, report, length, hid_get_input_report);
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

HMODULE LoadLibraryExW(const WCHAR* name, HANDLE file, DWORD flags) {
  if (name == nullptr || file != nullptr || (flags & ~LOAD_LIBRARY_SEARCH_SYSTEM32) != 0) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!IsHidLibraryName(name)) {
    Fail(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ++module_references;
  return &hid_module;
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
  if (module != &hid_module || module_references == 0) {
    Fail(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (name != nullptr) {
    const std::string wanted(name);
    if (wanted == "HidD_GetHidGuid") return AsFarproc(&GetHidGuid);
    if (wanted == "HidD_GetProductString") return AsFarproc(&GetProductString);
    if (wanted == "HidD_GetAttributes") return AsFarproc(&GetAttributes);
    if (wanted == "HidD_SetFeature") return AsFarproc(&SetFeature);
    if (wanted == "HidD_GetFeature") return AsFarproc(&GetFeature);
    if (wanted == "HidD_GetInputReport") return AsFarproc(&GetInputReport);
  }
  Fail(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
  if (module != &hid_module || module_references == 0) {
    Fail(ERROR_INVALID_HANDLE);
    return 0;
  }
  --module_references;
  return 1;
}

HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, const WCHAR* enumerator, HWND /*parent*/,
                              DWORD flags) {
  // Only sets of present HID interfaces exist here.
  if (class_guid == nullptr || !(*class_guid == kHidClass) || enumerator != nullptr ||
      (flags & DIGCF_DEVICEINTERFACE) == 0 ||
      (flags & ~(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) != 0) {
    Fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::vector<Present> present;
  if (!ListPresent(&present)) {
    Fail(ERROR_GEN_FAILURE);
    return INVALID_HANDLE_VALUE;
  }
  auto set = std::make_unique<DeviceSet>();
  for (auto& entry : present) set->paths.push_back(std::move(entry.path));
  sets.push_back(std::move(set));
  return sets.back().get();
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set_handle, void* /*device_info*/, const GUID* class_guid,
                                 DWORD member_index, SP_DEVICE_INTERFACE_DATA* interface_data) {
  DeviceSet* set = FindSet(set_handle);
  if (set == nullptr || class_guid == nullptr || !(*class_guid == kHidClass) ||
      interface_data == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (interface_data->cbSize != kInterfaceDataSize) {
    Fail(ERROR_INVALID_USER_BUFFER);
    return 0;
  }
  if (member_index >= set->paths.size()) {
    Fail(ERROR_NO_MORE_ITEMS);
    return 0;
  }
  interface_data->InterfaceClassGuid = kHidClass;
  interface_data->Flags = 1;  // SPINT_ACTIVE
  interface_data->Reserved = ULONG_PTR{member_index} + 1;
  return 1;
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set_handle, SP_DEVICE_INTERFACE_DATA* interface_data,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD detail_size,
                                      DWORD* required_size, void* /*device_info*/) {
  DeviceSet* set = FindSet(set_handle);
  if (set == nullptr || interface_data == nullptr || interface_data->Reserved == 0 ||
      interface_data->Reserved > set->paths.size()) {
    Fail(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::u16string& path = set->paths[interface_data->Reserved - 1];
  auto needed = static_cast<DWORD>(kDevicePathOffset + (path.size() + 1) * sizeof(WCHAR));
  if (required_size != nullptr) *required_size = needed;
  if (detail == nullptr) {
    // The size query: its normal outcome is this failure, with the size filled.
    Fail(detail_size == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER);
    return 0;
  }
  if (detail->cbSize != kDetailDataFixedSize) {
    Fail(ERROR_INVALID_USER_BUFFER);
    return 0;
  }
  if (detail_size < needed) {
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
  return 1;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set_handle) {
  for (auto it = sets.begin(); it != sets.end(); ++it)
    if (it->get() == set_handle) {
      sets.erase(it);
      return 1;
    }
  Fail(ERROR_INVALID_HANDLE);
  return 0;
}

HANDLE CreateFileW(const WCHAR* path, DWORD /*access*/, DWORD /*share*/, void* /*security*/,
                   DWORD disposition, DWORD /*flags*/, HANDLE /*template_file*/) {
  // A hidraw node is always opened for reading and writing, shared, and
  // synchronous: the tool's access, share and flags need no mapping.
  if (path == nullptr || disposition != OPEN_EXISTING) {
    Fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (linux_hid::NodeOfPath(path).empty()) {
    Fail(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  // Node numbers are reused: once the hub has left, its hidraw2 may be
  // another device's. The path opens only while the node still is the
  // collection it names.
  std::vector<Present> present;
  ListPresent(&present);
  const Present* found = nullptr;
  for (const auto& entry : present)
    if (entry.path == path) found = &entry;
  if (found == nullptr) {
    Fail(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }

  errno = 0;
  hid_device* device = hid_open_path(found->hid_path.c_str());
  if (device == nullptr) {
    Fail(ErrorFromErrno(errno));
    HintIfNotPermitted(found->hid_path);
    return INVALID_HANDLE_VALUE;
  }
  auto record = std::make_unique<OpenDevice>();
  record->device = device;
  record->vendor_id = found->vendor_id;
  record->product_id = found->product_id;
  record->release = found->release;
  record->product = found->product;
  open_devices.push_back(std::move(record));
  return open_devices.back().get();
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD to_read, DWORD* bytes_read, void* /*overlapped*/) {
  OpenDevice* device = FindDevice(file);
  if (device == nullptr) return 0;
  if (buffer == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // Blocks until an input report comes, as a synchronous ReadFile does.
  errno = 0;
  int got = hid_read(device->device, static_cast<unsigned char*>(buffer), to_read);
  if (got < 0) {
    Fail(ErrorFromErrno(errno));
    return 0;
  }
  if (bytes_read != nullptr) *bytes_read = static_cast<DWORD>(got);
  return 1;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD to_write, DWORD* bytes_written,
               void* /*overlapped*/) {
  OpenDevice* device = FindDevice(file);
  if (device == nullptr) return 0;
  if (buffer == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return 0;
  }
  errno = 0;
  int written = hid_write(device->device, static_cast<const unsigned char*>(buffer), to_write);
  if (written < 0) {
    Fail(ErrorFromErrno(errno));
    return 0;
  }
  if (bytes_written != nullptr) *bytes_written = static_cast<DWORD>(written);
  return 1;
}

BOOL CloseHandle(HANDLE handle) {
  for (auto it = open_devices.begin(); it != open_devices.end(); ++it)
    if (it->get() == handle) {
      hid_close((*it)->device);
      open_devices.erase(it);
      return 1;
    }
  Fail(ERROR_INVALID_HANDLE);
  return 0;
}

}  // namespace os
