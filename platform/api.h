// The seam between the tool and the operating system.
//
// The tool calls the system only through these functions. They carry the Win32
// names and meanings the tool relies on, declared in namespace os so they never
// collide with the real ones. Each executable links one backend per concern:
//
//   devices   library loader, HID.DLL entry points, SetupDi enumeration, files
//             on device paths                (win32, linux, sim)
//   console   the nine screen calls and standard output
//                                            (win32, posix terminal, test screen)
//   operator  message box and beep           (win32, posix terminal, test script)
//   clock     Sleep and the tick count       (win32, posix, sim: real or virtual)
//   files     opening the image file         (win32, posix)
//
// The types are declared here, from the public documentation, with the layout
// the target's own headers give them; the win32 backend checks that layout
// against <windows.h> at compile time. Texts that Windows keeps in UTF-16 are
// char16_t, so the tool's code-unit logic is the same on every platform.
//
// Many of these constant names are macros in <windows.h>: a win32 backend file
// includes this header first, and after <windows.h> uses the real names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#if defined(_WIN32) && !defined(_WIN64)
#define OS_WINAPI __stdcall
#else
#define OS_WINAPI
#endif

namespace os {

using BYTE = std::uint8_t;
using BOOLEAN = std::uint8_t;
using WORD = std::uint16_t;
using SHORT = std::int16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using BOOL = std::int32_t;
using UINT = std::uint32_t;
using ULONG_PTR = std::uintptr_t;
using WCHAR = char16_t;
using HANDLE = void*;
using HWND = void*;
using HMODULE = void*;
using HDEVINFO = void*;
using FARPROC = void (*)();

// The invalid-handle value, (HANDLE)-1: device searches, CreateFileW and
// SetupDiGetClassDevsW answer it for "none".
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};

inline bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

// ---------------------------------------------------------------------------
// Errors: only the codes a backend reports and a test may look at.
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_DEVICE_NOT_CONNECTED = 1167;
constexpr DWORD ERROR_INVALID_USER_BUFFER = 1784;

DWORD GetLastError();
void SetLastError(DWORD code);

// ---------------------------------------------------------------------------
// Devices: the library loader.
constexpr DWORD LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x00000800;

HMODULE LoadLibraryExW(const WCHAR* name, HANDLE file, DWORD flags);
FARPROC GetProcAddress(HMODULE module, const char* name);
BOOL FreeLibrary(HMODULE module);

// Entry-point types of HID.DLL (stdcall on 32-bit Windows).
using PHidD_GetHidGuid = void(OS_WINAPI*)(GUID* hid_guid);
using PHidD_GetProductString = BOOLEAN(OS_WINAPI*)(HANDLE device, void* buffer, ULONG length);
using PHidD_GetAttributes = BOOLEAN(OS_WINAPI*)(HANDLE device, void* attributes);
using PHidD_SetFeature = BOOLEAN(OS_WINAPI*)(HANDLE device, void* report, ULONG length);
using PHidD_GetFeature = BOOLEAN(OS_WINAPI*)(HANDLE device, void* report, ULONG length);
using PHidD_GetInputReport = BOOLEAN(OS_WINAPI*)(HANDLE device, void* report, ULONG length);

// Devices: SetupDi enumeration of device interfaces.
constexpr DWORD DIGCF_PRESENT = 0x00000002;
constexpr DWORD DIGCF_DEVICEINTERFACE = 0x00000010;

// setupapi.h packs its records to 1 byte on 32-bit Windows and to 8 on 64-bit.
#if defined(_WIN32) && !defined(_WIN64)
#pragma pack(push, 1)
#else
#pragma pack(push, 8)
#endif
struct SP_DEVICE_INTERFACE_DATA {
  DWORD cbSize;
  GUID InterfaceClassGuid;
  DWORD Flags;
  ULONG_PTR Reserved;
};
struct SP_DEVICE_INTERFACE_DETAIL_DATA_W {
  DWORD cbSize;
  WCHAR DevicePath[1];  // NUL-terminated, runs on to the end of the record
};
#pragma pack(pop)

// The cbSize values the enumeration calls demand: the whole interface record,
// and only the fixed part of the detail record (the size field and one UTF-16
// unit, as the platform pads them), never the allocated size.
constexpr DWORD kInterfaceDataSize = sizeof(SP_DEVICE_INTERFACE_DATA);
constexpr DWORD kDetailDataFixedSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
constexpr DWORD kDevicePathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);

HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, const WCHAR* enumerator, HWND parent,
                              DWORD flags);
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, void* device_info, const GUID* class_guid,
                                 DWORD member_index, SP_DEVICE_INTERFACE_DATA* interface_data);
BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interface_data,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD detail_size,
                                      DWORD* required_size, void* device_info);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);

// Devices: files on device paths.
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD OPEN_EXISTING = 3;

HANDLE CreateFileW(const WCHAR* path, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD flags, HANDLE template_file);
BOOL ReadFile(HANDLE file, void* buffer, DWORD to_read, DWORD* bytes_read, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD to_write, DWORD* bytes_written,
               void* overlapped);
BOOL CloseHandle(HANDLE handle);

// ---------------------------------------------------------------------------
// Console and standard output.
struct COORD {
  SHORT X;
  SHORT Y;
};
struct SMALL_RECT {
  SHORT Left;
  SHORT Top;
  SHORT Right;
  SHORT Bottom;
};
struct CONSOLE_SCREEN_BUFFER_INFO {
  COORD dwSize;
  COORD dwCursorPosition;
  WORD wAttributes;
  SMALL_RECT srWindow;
  COORD dwMaximumWindowSize;
};
struct CONSOLE_CURSOR_INFO {
  DWORD dwSize;
  BOOL bVisible;
};

constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
constexpr UINT CP_ACP = 0;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
constexpr WORD FOREGROUND_BLUE = 0x0001;
constexpr WORD FOREGROUND_GREEN = 0x0002;
constexpr WORD FOREGROUND_RED = 0x0004;
constexpr WORD FOREGROUND_INTENSITY = 0x0008;

HANDLE GetStdHandle(DWORD which);
BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info);
BOOL FillConsoleOutputCharacterW(HANDLE console, WCHAR character, DWORD length, COORD first,
                                 DWORD* written);
BOOL FillConsoleOutputAttribute(HANDLE console, WORD attribute, DWORD length, COORD first,
                                DWORD* written);
BOOL SetConsoleCursorPosition(HANDLE console, COORD position);
BOOL SetConsoleTextAttribute(HANDLE console, WORD attribute);
BOOL WriteConsoleW(HANDLE console, const WCHAR* text, DWORD length, DWORD* written, void* reserved);
BOOL GetConsoleCursorInfo(HANDLE console, CONSOLE_CURSOR_INFO* info);
BOOL SetConsoleCursorInfo(HANDLE console, const CONSOLE_CURSOR_INFO* info);
int MultiByteToWideChar(UINT code_page, DWORD flags, const char* text, int length, WCHAR* wide,
                        int wide_length);

// Writes bytes to the process's standard output, in order with the console
// calls above (text without a line end shows at once).
void WriteStdout(const char* bytes, std::size_t length);

// Formatted print to standard output through WriteStdout: the C runtime's
// formatting, one seam for the bytes.
int Printf(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// ---------------------------------------------------------------------------
// Operator.
constexpr UINT MB_OK = 0x00000000;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

int MessageBoxW(HWND owner, const WCHAR* text, const WCHAR* caption, UINT type);
BOOL Beep(DWORD frequency, DWORD duration_ms);

// ---------------------------------------------------------------------------
// Clock.
void Sleep(DWORD milliseconds);
std::uint64_t GetTickCount64();

// ---------------------------------------------------------------------------
// Files: the C runtime's wide open (mode as "rb"); read and close with the
// standard stdio calls.
std::FILE* _wfopen(const WCHAR* path, const WCHAR* mode);

}  // namespace os
