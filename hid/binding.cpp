#include "hid/binding.h"

#include <cstring>

HidBindingRecord HidBinding;

namespace {

// GetProcAddress hands out a generic function pointer; copy it into the typed
// field as it is (the 32-bit entry points are stdcall).
template <typename EntryPoint>
void Resolve(EntryPoint& field, const char* name) {
  os::FARPROC address = os::GetProcAddress(HidBinding.module, name);
  static_assert(sizeof field == sizeof address);
  std::memcpy(&field, &address, sizeof field);
}

}  // namespace

bool LoadHidLibrary() {
  // From the system directory only: a HID.DLL planted beside the program or in
  // the current folder is never loaded.
  HidBinding.module = os::LoadLibraryExW(u"HID.DLL", nullptr, os::LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (HidBinding.module == nullptr) return false;

  // Every lookup is made, also after a miss.
  Resolve(HidBinding.HidD_GetHidGuid, "HidD_GetHidGuid");
  Resolve(HidBinding.HidD_GetProductString, "HidD_GetProductString");
  Resolve(HidBinding.HidD_GetAttributes, "HidD_GetAttributes");
  Resolve(HidBinding.HidD_SetFeature, "HidD_SetFeature");
  Resolve(HidBinding.HidD_GetFeature, "HidD_GetFeature");
  Resolve(HidBinding.HidD_GetInputReport, "HidD_GetInputReport");

  if (HidBinding.HidD_GetHidGuid && HidBinding.HidD_GetProductString &&
      HidBinding.HidD_GetAttributes && HidBinding.HidD_SetFeature && HidBinding.HidD_GetFeature &&
      HidBinding.HidD_GetInputReport)
    return true;

  os::FreeLibrary(HidBinding.module);
  HidBinding = {};  // unbound: not even the entry points that were found may be called
  return false;
}

void FreeHidLibrary() {
  os::FreeLibrary(HidBinding.module);
  HidBinding = {};
}
