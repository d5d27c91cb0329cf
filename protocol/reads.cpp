#include "protocol/reads.h"

#include <bit>

#include "hid/transport.h"
#include "protocol/frames.h"

// The record is filled straight from the reply bytes.
static_assert(std::endian::native == std::endian::little);

namespace {
constexpr std::uint32_t kChunkSize = 60;
}

int ReadDeviceMemory(os::HANDLE handle, std::uint8_t* dest, std::uint32_t size) {
  std::uint32_t n = size / kChunkSize;
  std::uint32_t r = size % kChunkSize;
  int result = IO_OK;
  for (std::uint32_t i = 0; i < n; ++i) {
    if (QueryIndexed(handle, code::QRY_MEMORY, static_cast<std::uint16_t>(i), kChunkSize,
                     dest + kChunkSize * i) != IO_OK)
      result = IO_FAILED;
  }
  if (r != 0) {
    if (QueryIndexed(handle, code::QRY_MEMORY, static_cast<std::uint16_t>(n), static_cast<int>(r),
                     dest + kChunkSize * n) != IO_OK)
      result = IO_FAILED;
  }
  return result;
}

int ReadSensorData(os::HANDLE handle, SensorData* record) {
  return QueryIndexed(handle, code::QRY_SENSOR_DATA, 0, sizeof(SensorData),
                      reinterpret_cast<std::uint8_t*>(record));
}

int QueryStatus(os::HANDLE handle, std::uint8_t* status, std::uint8_t* state) {
  std::uint8_t result[2];
  int transport = QueryCommand(handle, code::QRY_STATUS, 2, result);
  *status = result[0];
  *state = result[1];
  return transport;
}

std::uint8_t QueryStatusOnly(os::HANDLE handle) {
  std::uint8_t status = 0, state = 0;
  QueryStatus(handle, &status, &state);
  return status;
}

std::uint8_t QueryStateOnly(os::HANDLE handle) {
  std::uint8_t status = 0, state = 0;
  QueryStatus(handle, &status, &state);
  return state;
}
