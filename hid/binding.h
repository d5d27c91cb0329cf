// The HID class library, bound at run time: all six entry points or none.
#pragma once

#include "platform/api.h"

struct HidBindingRecord {
  os::PHidD_GetHidGuid HidD_GetHidGuid = nullptr;
  os::PHidD_GetProductString HidD_GetProductString = nullptr;
  os::PHidD_GetAttributes HidD_GetAttributes = nullptr;
  os::PHidD_SetFeature HidD_SetFeature = nullptr;
  os::PHidD_GetFeature HidD_GetFeature = nullptr;
  os::PHidD_GetInputReport HidD_GetInputReport = nullptr;
  os::HMODULE module = nullptr;
};

// Filled once by LoadHidLibrary and only read after that.
extern HidBindingRecord HidBinding;

// True when the library and all six entry points are bound. On any miss the
// library is released again. Prints nothing.
bool LoadHidLibrary();

// Releases the library; no entry point may be called afterwards.
void FreeHidLibrary();
