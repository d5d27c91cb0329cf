#include "protocol/frames.h"

#include <cstring>

#include "hid/transport.h"

namespace {

// Every frame starts cleared, so no byte the tool did not mean to send leaves
// the program.
void WriteCommandBytes(FeaturePacket& fp, std::uint8_t command, int length,
                       const std::uint8_t* payload) {
  fp[1] = command;
  fp[2] = static_cast<std::uint8_t>(length);
  if (payload != nullptr && length > 0)
    std::memcpy(&fp[3], payload, static_cast<std::size_t>(length));
}

}  // namespace

// Lengths beyond the frame are refused before anything is sent: they would
// read or write past the 131 bytes.
constexpr int kMaxPayload = FEATURE_PACKET_SIZE - 3;
constexpr int kMaxPlainReply = FEATURE_PACKET_SIZE - 1;
constexpr int kMaxIndexedReply = FEATURE_PACKET_SIZE - 4;

int SendCommand(os::HANDLE handle, std::uint8_t command, int length, const std::uint8_t* payload) {
  if (length < 0 || length > kMaxPayload) return IO_FAILED;
  FeaturePacket fp{};
  fp[0] = REPORT_ID;
  WriteCommandBytes(fp, command, length, payload);
  int result = HidWrite(handle, IO_FEATURE, fp.data(), FEATURE_PACKET_SIZE);
  if (result == IO_OK) return result;

  fp[0] = FALLBACK_REPORT_ID;
  WriteCommandBytes(fp, command, length, payload);
  return HidWrite(handle, IO_FEATURE, fp.data(), FEATURE_PACKET_SIZE);
}

int QueryCommand(os::HANDLE handle, std::uint8_t query, int length, std::uint8_t* reply) {
  if (length < 0 || length > kMaxPlainReply) return IO_FAILED;
  FeaturePacket fp{};
  std::uint8_t report_id = REPORT_ID;
  fp[0] = report_id;
  fp[1] = query;
  fp[2] = static_cast<std::uint8_t>(length);
  int set = HidWrite(handle, IO_FEATURE, fp.data(), FEATURE_PACKET_SIZE);
  if (set != IO_OK) {
    // The reply is then asked for with report ID 0 too, whatever this set did.
    report_id = FALLBACK_REPORT_ID;
    fp[0] = report_id;
    fp[1] = query;
    fp[2] = static_cast<std::uint8_t>(length);
    set = HidWrite(handle, IO_FEATURE, fp.data(), FEATURE_PACKET_SIZE);
  }
  std::uint32_t len2 = FEATURE_PACKET_SIZE;
  int result = HidRead(handle, IO_FEATURE, report_id, fp.data(), len2);
  // A failed get still hands on the frame as it stands.
  if (length > 0) std::memcpy(reply, &fp[1], static_cast<std::size_t>(length));
  // When no request reached the hub, a reply that comes all the same answers
  // an earlier one: it is not this query's answer.
  return set == IO_OK ? result : IO_FAILED;
}

int QueryIndexed(os::HANDLE handle, std::uint8_t query, std::uint16_t index, int length,
                 std::uint8_t* reply) {
  if (length < 0 || length > kMaxIndexedReply) return IO_FAILED;
  FeaturePacket fp{};
  fp[0] = REPORT_ID;
  fp[1] = query;
  fp[2] = static_cast<std::uint8_t>(index & 0xFF);
  fp[3] = static_cast<std::uint8_t>(index >> 8);
  // No fallback here.
  int set = HidWrite(handle, IO_FEATURE, fp.data(), FEATURE_PACKET_SIZE);
  std::uint32_t len2 = FEATURE_PACKET_SIZE;
  int result = HidRead(handle, IO_FEATURE, REPORT_ID, fp.data(), len2);
  if (length > 0) std::memcpy(reply, &fp[4], static_cast<std::size_t>(length));
  // A reply got after a failed set answers an earlier request (the chunk
  // before, say): passing it on as this one's would corrupt what is read.
  return set == IO_OK ? result : IO_FAILED;
}

namespace {
const std::uint8_t kZero = 0x00;
}

int CMD_ENTER_DFU(os::HANDLE handle) {
  return SendCommand(handle, code::CMD_ENTER_DFU, 1, &kZero);
}
int CMD_START(os::HANDLE handle) {
  return SendCommand(handle, code::CMD_START, 1, nullptr);
}
int CMD_DFU_BEGIN(os::HANDLE handle) {
  return SendCommand(handle, code::CMD_DFU_BEGIN, 1, nullptr);
}
int CMD_DFU_END(os::HANDLE handle) {
  return SendCommand(handle, code::CMD_DFU_END, 1, nullptr);
}
int CMD_DFU_DATA(os::HANDLE handle, const std::uint8_t* data, int length) {
  return SendCommand(handle, code::CMD_DFU_DATA, length, data);
}
int CMD_STATE_10(os::HANDLE handle) {
  return SendCommand(handle, code::CMD_STATE_10, 1, nullptr);
}
int CMD_STATE_12(os::HANDLE handle) {
  return SendCommand(handle, code::CMD_STATE_12, 1, nullptr);
}
int CMD_STATE_14(os::HANDLE handle) {
  return SendCommand(handle, code::CMD_STATE_14, 1, nullptr);
}
int CMD_STATE_16(os::HANDLE handle) {
  return SendCommand(handle, code::CMD_STATE_16, 1, nullptr);
}
int CMD_STATE_18(os::HANDLE handle) {
  return SendCommand(handle, code::CMD_STATE_18, 1, nullptr);
}
int CMD_STATE_19(os::HANDLE handle) {
  return SendCommand(handle, code::CMD_STATE_19, 1, nullptr);
}
int CMD_STATE_20(os::HANDLE handle) {
  return SendCommand(handle, code::CMD_STATE_20, 1, nullptr);
}
int CMD_STOP(os::HANDLE handle) {
  return SendCommand(handle, code::CMD_STOP, 1, nullptr);
}

int QueryInfo(os::HANDLE handle, std::uint8_t* reply) {
  return QueryCommand(handle, code::QRY_INFO, 12, reply);
}
