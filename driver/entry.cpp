#include "driver/entry.h"

#include <cstring>

#include "driver/calibration.h"
#include "driver/dfu_flow.h"
#include "driver/run.h"
#include "hid/binding.h"
#include "hid/discovery.h"
#include "hid/transport.h"
#include "image/image_file.h"
#include "protocol/device_image.h"
#include "protocol/reads.h"

namespace {

// The image file's bytes in an update run; kept for the whole run.
std::uint8_t databuf[image::DATABUF_SIZE];

// Up to 20 attempts, 500 ms apart, for the hub and, in an update run, the
// loader. False when neither was found.
bool Discover(RunValues& run) {
  run.counter = 0;
  while (run.hub == os::INVALID_HANDLE_VALUE) {
    run.hub = OpenHidDevice(SENSOR_HUB_ID);
    if (run.mode == RunMode::Update) {
      run.loader = OpenHidDevice(DFU_LOADER_ID);
      if (run.loader != os::INVALID_HANDLE_VALUE) return true;
    }
    if (!EndAttempt(run)) return false;
  }
  return true;
}

}  // namespace

namespace tool {

int wmain(int argc, char16_t** argv) {
  RunValues run;
  run.mode = argc > 1 ? RunMode::Update : RunMode::Calibration;

  if (run.mode == RunMode::Update) {
    if (!image::LoadImageFile(argv[1], databuf)) return 0;
    run.databuf = databuf;
  }

  if (!LoadHidLibrary()) return 0;

  std::memset(DeviceImage, 0xFF, sizeof DeviceImage);

  if (!Discover(run)) return 0;

  if (run.hub != os::INVALID_HANDLE_VALUE) {
    // A read that failed ends the run before anything is sent: an unknown mark
    // could pass for "not calibrated", and unread bytes would be written back.
    int memory = ReadDeviceMemory(run.hub, DeviceImage, sizeof DeviceImage);
    int readings = ReadSensorData(run.hub, &run.record);
    if (memory != IO_OK || readings != IO_OK) {
      os::Printf("\n\r========Read Device Failed!!========\n\r");
      return 0;
    }
  }

  os::Printf("Calibrated:%d\n\r", run.record.calibrated);

  if (!RunDfuFlow(run)) return 0;

  RunCalibrationSequence(run);
  return 0;
}

}  // namespace tool
