// Reads of the hub's memory, its live readings and its status.
#pragma once

#include <cstdint>

#include "platform/api.h"

// The hub's reading record: the 60-byte payload of a QRY_SENSOR_DATA reply,
// little-endian, laid out as the hub sends it.
struct SensorData {
  std::uint16_t lux;
  std::uint16_t proximity;
  std::int16_t acc_x;
  std::int16_t acc_y;
  std::int16_t acc_z;
  std::int16_t gyr_x;
  std::int16_t gyr_y;
  std::int16_t gyr_z;
  std::uint8_t uninterpreted_16[12];
  std::uint8_t level;
  std::uint8_t calibrated;
  std::uint8_t uninterpreted_30[30];
};
static_assert(sizeof(SensorData) == 60);

constexpr std::uint8_t STATUS_BUSY = 2;
constexpr std::uint8_t STATE_LOADER_READY = 3;

// Reads the first `size` bytes of the hub's memory into `dest`, 60 to a
// query. IO_FAILED when any chunk failed: a chunk that was not read must not
// pass for the hub's bytes.
int ReadDeviceMemory(os::HANDLE handle, std::uint8_t* dest, std::uint32_t size);

// Overwrites all 60 bytes of `record`.
int ReadSensorData(os::HANDLE handle, SensorData* record);

// The status byte, then the state byte; both delivered whatever the result.
int QueryStatus(os::HANDLE handle, std::uint8_t* status, std::uint8_t* state);
std::uint8_t QueryStatusOnly(os::HANDLE handle);
std::uint8_t QueryStateOnly(os::HANDLE handle);
