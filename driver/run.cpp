#include "driver/run.h"

bool EndAttempt(RunValues& run) {
  ++run.counter;
  os::Sleep(ATTEMPT_WAIT_MS);
  if (run.hub == os::INVALID_HANDLE_VALUE && run.counter >= ATTEMPT_LIMIT) {
    os::Printf("Can not found HID Sensor Device!!\n\r");
    return false;
  }
  return true;
}
