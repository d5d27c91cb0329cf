#include "driver/dfu_flow.h"

#include <cstring>

#include "hid/discovery.h"
#include "protocol/device_image.h"
#include "protocol/dfu.h"
#include "protocol/frames.h"

namespace {

constexpr std::uint8_t kCalibratedLow = 180;
constexpr std::uint8_t kCalibratedHigh = 254;
constexpr std::size_t kKeepSize = CALIBRATION_AREA_START - DOWNLOAD_REGION_START;

// Sends CMD_ENTER_DFU (when the hub is open) every 500 ms until the loader is
// found. False when it has not appeared within the limit.
bool WaitForLoader(RunValues& run) {
  for (std::int32_t attempt = 0; run.loader == os::INVALID_HANDLE_VALUE; ++attempt) {
    if (attempt == LOADER_ATTEMPT_LIMIT) {
      os::Printf("\n\r========Enter DFU Mode Failed!!========\n\r");
      return false;
    }
    if (run.hub != os::INVALID_HANDLE_VALUE) CMD_ENTER_DFU(run.hub);
    os::Sleep(ATTEMPT_WAIT_MS);
    run.loader = OpenHidDevice(DFU_LOADER_ID);
  }
  return true;
}

// Waits up to 20 attempts for the hub in normal mode, downloading again
// whenever only the loader is found.
bool WaitForHubReturn(RunValues& run) {
  run.counter = 0;
  while (run.hub == os::INVALID_HANDLE_VALUE) {
    run.hub = OpenHidDevice(SENSOR_HUB_ID);
    if (run.hub == os::INVALID_HANDLE_VALUE) {
      run.loader = OpenHidDevice(DFU_LOADER_ID);
      if (run.loader != os::INVALID_HANDLE_VALUE && DfuDownload(run.loader) == 1)
        os::CloseHandle(run.loader);
    }
    if (!EndAttempt(run)) return false;
  }
  return true;
}

}  // namespace

bool HubIsCalibrated(const RunValues& run) {
  return run.record.calibrated >= kCalibratedLow && run.record.calibrated <= kCalibratedHigh &&
         run.loader == os::INVALID_HANDLE_VALUE;
}

bool RunDfuFlow(RunValues& run) {
  if (HubIsCalibrated(run)) {
    if (run.mode == RunMode::Calibration) {
      // Erase: the hub's own firmware goes back with its calibration blanked.
      os::Printf("Erase calibrated data\n\r");
      std::memset(&DeviceImage[CALIBRATION_AREA_START], 0xFF, ERASE_RANGE_SIZE);
    } else {
      // Keep: the new firmware, and the calibration area as read back.
      std::memcpy(&DeviceImage[DOWNLOAD_REGION_START], run.databuf, kKeepSize);
    }
    if (!WaitForLoader(run)) return false;
    os::CloseHandle(run.hub);
    run.hub = os::INVALID_HANDLE_VALUE;
    // A failed download is not reported here: the wait for the hub's return
    // finds the loader again and downloads once more.
    if (DfuDownload(run.loader) == 1) os::CloseHandle(run.loader);
  } else if (run.mode == RunMode::Update) {
    // Full: the whole download region from the image.
    std::memcpy(&DeviceImage[DOWNLOAD_REGION_START], run.databuf, DOWNLOAD_REGION_SIZE);
    if (!WaitForLoader(run)) return false;
    int downloaded = DfuDownload(run.loader);
    os::CloseHandle(run.loader);
    if (downloaded == 0) {
      os::Printf("\n\r========Update Failed!!========\n\r");
      return false;
    }
  }

  if (!WaitForHubReturn(run)) return false;

  if (run.mode == RunMode::Update) {
    os::CloseHandle(run.hub);
    os::Printf("\n\r========Update Completed!!========\n\r");
    return false;
  }
  return true;
}
