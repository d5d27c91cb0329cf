#include "hid/transport.h"

#include "hid/binding.h"

int HidWrite(os::HANDLE handle, int mode, std::uint8_t* buffer, std::uint32_t length) {
  bool success = false;
  if (mode == IO_OUTPUT) {
    os::DWORD bytesWritten = 0;
    success = os::WriteFile(handle, buffer, length, &bytesWritten, nullptr) != 0;
  } else if (mode == IO_FEATURE) {
    success = HidBinding.HidD_SetFeature(handle, buffer, length) != 0;
  }
  return success ? IO_OK : IO_FAILED;
}

int HidRead(os::HANDLE handle, int mode, std::uint8_t report_id, std::uint8_t* buffer,
            std::uint32_t& length) {
  bool success = false;
  if (mode == IO_INPUT) {
    buffer[0] = report_id;
    os::DWORD bytesRead = 0;
    success = os::ReadFile(handle, buffer, length, &bytesRead, nullptr) != 0;
    if (success) length = bytesRead;
  } else if (mode == IO_FEATURE) {
    buffer[0] = report_id;
    success = HidBinding.HidD_GetFeature(handle, buffer, length) != 0;
  }
  return success ? IO_OK : IO_FAILED;
}
