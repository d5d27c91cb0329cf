// Devices on Windows: the system's library loader, SetupAPI and the kernel's
// file calls, each forwarded with exactly what the tool passes.
//
// The os:: records are declared from the documentation in platform/api.h; the
// checks below prove at compile time that they have the layout <windows.h> and
// <setupapi.h> give the real ones, which is what lets the pointers go through
// unchanged.
#include "platform/api.h"

#include <cstddef>
#include <cstring>
#include <iterator>

// Every constant api.h spells out. Most are macros in <windows.h>, so the
// seam's values are taken before it is included and the platform's after,
// from this one list.
// clang-format off
#define OS_CONSTANTS(X) \
  X(ERROR_FILE_NOT_FOUND) \
  X(ERROR_ACCESS_DENIED) \
  X(ERROR_INVALID_HANDLE) \
  X(ERROR_GEN_FAILURE) \
  X(ERROR_INVALID_PARAMETER) \
  X(ERROR_INSUFFICIENT_BUFFER) \
  X(ERROR_MOD_NOT_FOUND) \
  X(ERROR_PROC_NOT_FOUND) \
  X(ERROR_NO_MORE_ITEMS) \
  X(ERROR_DEVICE_NOT_CONNECTED) \
  X(ERROR_INVALID_USER_BUFFER) \
  X(LOAD_LIBRARY_SEARCH_SYSTEM32) \
  X(DIGCF_PRESENT) \
  X(DIGCF_DEVICEINTERFACE) \
  X(GENERIC_READ) \
  X(GENERIC_WRITE) \
  X(FILE_SHARE_READ) \
  X(FILE_SHARE_WRITE) \
  X(OPEN_EXISTING) \
  X(STD_OUTPUT_HANDLE) \
  X(CP_ACP) \
  X(MB_ERR_INVALID_CHARS) \
  X(FOREGROUND_BLUE) \
  X(FOREGROUND_GREEN) \
  X(FOREGROUND_RED) \
  X(FOREGROUND_INTENSITY) \
  X(MB_OK) \
  X(IDOK) \
  X(IDCANCEL)
// clang-format on

namespace {
#define OS_SEAM_VALUE(name) static_cast<unsigned long long>(os::name),
constexpr unsigned long long kSeamValues[] = {OS_CONSTANTS(OS_SEAM_VALUE)};
#undef OS_SEAM_VALUE
}  // namespace

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// setupapi.h comes after windows.h, whose types it uses.
#include <setupapi.h>

// Scalars: the same widths, whatever the compiler calls them (DWORD is
// unsigned long here and std::uint32_t in api.h).
static_assert(sizeof(wchar_t) == 2, "UTF-16 texts are handed over as wchar_t");
static_assert(sizeof(os::WCHAR) == sizeof(::WCHAR));
static_assert(sizeof(os::DWORD) == sizeof(::DWORD));
static_assert(sizeof(os::ULONG) == sizeof(::ULONG));
static_assert(sizeof(os::BOOL) == sizeof(::BOOL));
static_assert(sizeof(os::BOOLEAN) == sizeof(::BOOLEAN));
static_assert(sizeof(os::WORD) == sizeof(::WORD));
static_assert(sizeof(os::SHORT) == sizeof(::SHORT));
static_assert(sizeof(os::UINT) == sizeof(::UINT));
static_assert(sizeof(os::ULONG_PTR) == sizeof(::ULONG_PTR));
static_assert(sizeof(os::HANDLE) == sizeof(::HANDLE));
static_assert(sizeof(os::FARPROC) == sizeof(::FARPROC));

// The GUID.
static_assert(sizeof(os::GUID) == sizeof(::GUID));
static_assert(offsetof(os::GUID, Data2) == offsetof(::GUID, Data2));
static_assert(offsetof(os::GUID, Data3) == offsetof(::GUID, Data3));
static_assert(offsetof(os::GUID, Data4) == offsetof(::GUID, Data4));

// The SetupDi records. Their cbSize values depend on the build: 28 and 6 in a
// 32-bit program (setupapi.h packs to 1 byte), 32 and 8 in a 64-bit one. The
// values of the other build fail every search on Windows.
static_assert(sizeof(os::SP_DEVICE_INTERFACE_DATA) == sizeof(::SP_DEVICE_INTERFACE_DATA));
static_assert(offsetof(os::SP_DEVICE_INTERFACE_DATA, InterfaceClassGuid) ==
              offsetof(::SP_DEVICE_INTERFACE_DATA, InterfaceClassGuid));
static_assert(offsetof(os::SP_DEVICE_INTERFACE_DATA, Flags) ==
              offsetof(::SP_DEVICE_INTERFACE_DATA, Flags));
static_assert(offsetof(os::SP_DEVICE_INTERFACE_DATA, Reserved) ==
              offsetof(::SP_DEVICE_INTERFACE_DATA, Reserved));
static_assert(sizeof(os::SP_DEVICE_INTERFACE_DETAIL_DATA_W) ==
              sizeof(::SP_DEVICE_INTERFACE_DETAIL_DATA_W));
static_assert(offsetof(os::SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) ==
              offsetof(::SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath));
static_assert(os::kDevicePathOffset == 4);
#if defined(_WIN64)
static_assert(os::kInterfaceDataSize == 32 && os::kDetailDataFixedSize == 8);
#else
static_assert(os::kInterfaceDataSize == 28 && os::kDetailDataFixedSize == 6);
#endif

// The console records.
static_assert(sizeof(os::COORD) == sizeof(::COORD));
static_assert(offsetof(os::COORD, Y) == offsetof(::COORD, Y));
static_assert(sizeof(os::SMALL_RECT) == sizeof(::SMALL_RECT));
static_assert(offsetof(os::SMALL_RECT, Top) == offsetof(::SMALL_RECT, Top));
static_assert(offsetof(os::SMALL_RECT, Right) == offsetof(::SMALL_RECT, Right));
static_assert(offsetof(os::SMALL_RECT, Bottom) == offsetof(::SMALL_RECT, Bottom));
static_assert(sizeof(os::CONSOLE_SCREEN_BUFFER_INFO) == sizeof(::CONSOLE_SCREEN_BUFFER_INFO));
static_assert(offsetof(os::CONSOLE_SCREEN_BUFFER_INFO, dwCursorPosition) ==
              offsetof(::CONSOLE_SCREEN_BUFFER_INFO, dwCursorPosition));
static_assert(offsetof(os::CONSOLE_SCREEN_BUFFER_INFO, wAttributes) ==
              offsetof(::CONSOLE_SCREEN_BUFFER_INFO, wAttributes));
static_assert(offsetof(os::CONSOLE_SCREEN_BUFFER_INFO, srWindow) ==
              offsetof(::CONSOLE_SCREEN_BUFFER_INFO, srWindow));
static_assert(offsetof(os::CONSOLE_SCREEN_BUFFER_INFO, dwMaximumWindowSize) ==
              offsetof(::CONSOLE_SCREEN_BUFFER_INFO, dwMaximumWindowSize));
static_assert(sizeof(os::CONSOLE_CURSOR_INFO) == sizeof(::CONSOLE_CURSOR_INFO));
static_assert(offsetof(os::CONSOLE_CURSOR_INFO, bVisible) ==
              offsetof(::CONSOLE_CURSOR_INFO, bVisible));

namespace {

#define OS_PLATFORM_VALUE(name) static_cast<unsigned long long>(name),
constexpr unsigned long long kPlatformValues[] = {OS_CONSTANTS(OS_PLATFORM_VALUE)};
#undef OS_PLATFORM_VALUE

// The index of the first constant that differs, or -1.
constexpr int FirstDifferentConstant() {
  static_assert(std::size(kSeamValues) == std::size(kPlatformValues));
  for (std::size_t i = 0; i < std::size(kSeamValues); ++i)
    if (kSeamValues[i] != kPlatformValues[i]) return static_cast<int>(i);
  return -1;
}
static_assert(FirstDifferentConstant() == -1, "a constant of api.h differs from <windows.h>");

const ::GUID* Real(const os::GUID* guid) {
  return reinterpret_cast<const ::GUID*>(guid);
}
const wchar_t* Real(const os::WCHAR* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
// Out-parameters: 32-bit in both spellings, proved above.
::DWORD* Real(os::DWORD* value) {
  return reinterpret_cast<::DWORD*>(value);
}

}  // namespace

namespace os {

DWORD GetLastError() {
  return ::GetLastError();
}

void SetLastError(DWORD code) {
  ::SetLastError(code);
}

HMODULE LoadLibraryExW(const WCHAR* name, HANDLE file, DWORD flags) {
  return ::LoadLibraryExW(Real(name), file, flags);
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
  // The platform types every export as one function type; the caller copies
  // the address into the entry point's own type, so only the bits cross here.
  ::FARPROC address = ::GetProcAddress(static_cast<::HMODULE>(module), name);
  FARPROC result;
  std::memcpy(&result, &address, sizeof result);
  return result;
}

BOOL FreeLibrary(HMODULE module) {
  return ::FreeLibrary(static_cast<::HMODULE>(module));
}

HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, const WCHAR* enumerator, HWND parent,
                              DWORD flags) {
  return ::SetupDiGetClassDevsW(Real(class_guid), Real(enumerator), static_cast<::HWND>(parent),
                                flags);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, void* device_info, const GUID* class_guid,
                                 DWORD member_index, SP_DEVICE_INTERFACE_DATA* interface_data) {
  return ::SetupDiEnumDeviceInterfaces(
      set, static_cast<::PSP_DEVINFO_DATA>(device_info), Real(class_guid), member_index,
      reinterpret_cast<::PSP_DEVICE_INTERFACE_DATA>(interface_data));
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interface_data,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD detail_size,
                                      DWORD* required_size, void* device_info) {
  return ::SetupDiGetDeviceInterfaceDetailW(
      set, reinterpret_cast<::PSP_DEVICE_INTERFACE_DATA>(interface_data),
      reinterpret_cast<::PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(detail), detail_size,
      Real(required_size), static_cast<::PSP_DEVINFO_DATA>(device_info));
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  return ::SetupDiDestroyDeviceInfoList(set);
}

HANDLE CreateFileW(const WCHAR* path, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD flags, HANDLE template_file) {
  return ::CreateFileW(Real(path), access, share, static_cast<::LPSECURITY_ATTRIBUTES>(security),
                       disposition, flags, template_file);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD to_read, DWORD* bytes_read, void* overlapped) {
  return ::ReadFile(file, buffer, to_read, Real(bytes_read),
                    static_cast<::LPOVERLAPPED>(overlapped));
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD to_write, DWORD* bytes_written,
               void* overlapped) {
  return ::WriteFile(file, buffer, to_write, Real(bytes_written),
                     static_cast<::LPOVERLAPPED>(overlapped));
}

BOOL CloseHandle(HANDLE handle) {
  return ::CloseHandle(handle);
}

}  // namespace os
