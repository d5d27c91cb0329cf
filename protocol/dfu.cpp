#include "protocol/dfu.h"

#include "hid/transport.h"
#include "protocol/device_image.h"
#include "protocol/frames.h"
#include "protocol/reads.h"

namespace {

constexpr int kBlockSize = 64;

// Polls the status until it is not busy. IO_FAILED when a poll fails, or when
// the loader has answered busy without a break for the busy limit.
int PollWhileBusy(os::HANDLE handle, std::uint8_t* dfu_status, std::uint8_t* dfu_state) {
  std::uint64_t since = os::GetTickCount64();
  do {
    if (QueryStatus(handle, dfu_status, dfu_state) != IO_OK) return IO_FAILED;
    if (*dfu_status == STATUS_BUSY && os::GetTickCount64() - since >= DFU_BUSY_LIMIT_MS)
      return IO_FAILED;
  } while (*dfu_status == STATUS_BUSY);
  return IO_OK;
}

}  // namespace

int DfuDownload(os::HANDLE handle) {
  if (handle == os::INVALID_HANDLE_VALUE) return 0;

  std::uint8_t dfu_status = 0, dfu_state = 0;
  if (QueryStatus(handle, &dfu_status, &dfu_state) != IO_OK) return 0;
  if (CMD_DFU_BEGIN(handle) != IO_OK) return 0;
  if (PollWhileBusy(handle, &dfu_status, &dfu_state) != IO_OK) return 0;
  if (dfu_state != STATE_LOADER_READY || dfu_status != 0) return 0;

  std::uint32_t bytes_sent = 0;
  while (bytes_sent < DOWNLOAD_REGION_SIZE) {
    const std::uint8_t* block = &DeviceImage[DOWNLOAD_REGION_START + bytes_sent];
    if (CMD_DFU_DATA(handle, block, kBlockSize) != IO_OK) {
      CMD_DFU_END(handle);
      return 0;
    }
    // Any answer but busy means the block was taken.
    if (PollWhileBusy(handle, &dfu_status, &dfu_state) != IO_OK) return 0;
    bytes_sent += kBlockSize;
    os::Printf("Data Transfer=%d\r", static_cast<int>(bytes_sent));
  }

  CMD_DFU_END(handle);

  // The closing wait: a failed poll delivers the request's own bytes (status
  // 0x86) and so ends it, as does a loader busy past the limit.
  std::uint64_t since = os::GetTickCount64();
  while (QueryStatusOnly(handle) == STATUS_BUSY) {
    if (os::GetTickCount64() - since >= DFU_BUSY_LIMIT_MS) break;
  }
  dfu_state = QueryStateOnly(handle);

  CMD_START(handle);
  return 1;
}
