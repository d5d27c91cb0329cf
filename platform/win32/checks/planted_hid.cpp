// A stand-in HID.DLL that the checks plant beside sensorhub.exe, as an
// attacker would. It offers the six entry points the tool binds, so a tool
// that loaded it would bind it fully; and it announces itself on standard
// output when it is loaded, which the checks compare byte for byte.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

extern "C" {

__declspec(dllexport) void WINAPI HidD_GetHidGuid(GUID* guid) {
  *guid = GUID{};
}
__declspec(dllexport) BOOLEAN WINAPI HidD_GetProductString(HANDLE, void*, ULONG) {
  return FALSE;
}
__declspec(dllexport) BOOLEAN WINAPI HidD_GetAttributes(HANDLE, void*) {
  return FALSE;
}
__declspec(dllexport) BOOLEAN WINAPI HidD_SetFeature(HANDLE, void*, ULONG) {
  return FALSE;
}
__declspec(dllexport) BOOLEAN WINAPI HidD_GetFeature(HANDLE, void*, ULONG) {
  return FALSE;
}
__declspec(dllexport) BOOLEAN WINAPI HidD_GetInputReport(HANDLE, void*, ULONG) {
  return FALSE;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    static const char kMarker[] = "planted HID.DLL loaded\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), kMarker, sizeof kMarker - 1, &written, nullptr);
  }
  return TRUE;
}

}  // extern "C"
