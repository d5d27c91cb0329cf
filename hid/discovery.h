// Finding a HID device by a fragment of its device path, and opening it.
#pragma once

#include "platform/api.h"

// True when `fragment`'s UTF-16 code units occur in `text` consecutively and
// unchanged: exact and case-sensitive. An empty fragment is in every text.
bool ContainsText(const char16_t* text, const char16_t* fragment);

// Opens the first present HID interface whose device path contains
// `fragment`, for reading and writing; INVALID_HANDLE_VALUE when none was
// opened. The first match decides, even when it cannot be opened. Needs the
// library bound (LoadHidLibrary).
os::HANDLE OpenHidDevice(const char16_t* fragment);
