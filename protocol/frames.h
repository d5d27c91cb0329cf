// The 131-byte feature reports every exchange with the hub is made of:
// commands, plain queries and indexed queries.
#pragma once

#include <array>
#include <cstdint>

#include "platform/api.h"

constexpr int FEATURE_PACKET_SIZE = 131;
using FeaturePacket = std::array<std::uint8_t, FEATURE_PACKET_SIZE>;

// Report IDs: every frame goes out with 2; some are set again with 0.
constexpr std::uint8_t REPORT_ID = 2;
constexpr std::uint8_t FALLBACK_REPORT_ID = 0;

namespace code {
constexpr std::uint8_t CMD_ENTER_DFU = 0x00;
constexpr std::uint8_t CMD_START = 0x01;
constexpr std::uint8_t CMD_DFU_BEGIN = 0x02;
constexpr std::uint8_t CMD_DFU_END = 0x03;
constexpr std::uint8_t CMD_DFU_DATA = 0x04;
constexpr std::uint8_t CMD_STATE_10 = 0x0A;
constexpr std::uint8_t CMD_STATE_12 = 0x0C;
constexpr std::uint8_t CMD_STATE_14 = 0x0E;
constexpr std::uint8_t CMD_STATE_16 = 0x10;
constexpr std::uint8_t CMD_STATE_18 = 0x12;
constexpr std::uint8_t CMD_STATE_19 = 0x13;
constexpr std::uint8_t CMD_STATE_20 = 0x14;
constexpr std::uint8_t CMD_STOP = 0xFE;

constexpr std::uint8_t QRY_SENSOR_DATA = 0x83;
constexpr std::uint8_t QRY_MEMORY = 0x84;
constexpr std::uint8_t QRY_INFO = 0x85;
constexpr std::uint8_t QRY_STATUS = 0x86;
}  // namespace code

// A command with `length` payload bytes (at most 128). A null payload leaves
// them 0. Set with report ID 2, once more with 0 if that fails; the result is
// the last attempt's.
int SendCommand(os::HANDLE handle, std::uint8_t command, int length, const std::uint8_t* payload);

// A plain query for `length` reply bytes (at most 130): reply bytes 1 to
// length go to `reply`, also when the get fails. Result: the get's, or
// IO_FAILED when neither set went through.
int QueryCommand(os::HANDLE handle, std::uint8_t query, int length, std::uint8_t* reply);

// A query with a 16-bit index: reply bytes 4 to 3+length (at most 127) go to
// `reply`, also when the get fails. Result: the get's, or IO_FAILED when the
// set failed.
int QueryIndexed(os::HANDLE handle, std::uint8_t query, std::uint16_t index, int length,
                 std::uint8_t* reply);

// One operation per command.
int CMD_ENTER_DFU(os::HANDLE handle);
int CMD_START(os::HANDLE handle);
int CMD_DFU_BEGIN(os::HANDLE handle);
int CMD_DFU_END(os::HANDLE handle);
int CMD_DFU_DATA(os::HANDLE handle, const std::uint8_t* data, int length);
int CMD_STATE_10(os::HANDLE handle);
int CMD_STATE_12(os::HANDLE handle);
int CMD_STATE_14(os::HANDLE handle);
int CMD_STATE_16(os::HANDLE handle);
int CMD_STATE_18(os::HANDLE handle);
int CMD_STATE_19(os::HANDLE handle);
int CMD_STATE_20(os::HANDLE handle);
int CMD_STOP(os::HANDLE handle);

// The hub's 12 information bytes.
int QueryInfo(os::HANDLE handle, std::uint8_t* reply);
