// The hub of the fuzz programs: the simulated hub, with its free choices taken
// from the fuzz input. Every set and get takes its outcome (taken, failed, the
// hub vanishes) from the input, and so do the replies: wholly
// (Replies::Raw), or only where a real hub is free to answer anything
// (Replies::Model: status, state and readings from the input; memory, the
// mark and the loader's writes are the simulated hub's own).
//
// Time is the simulated world's virtual clock; each transfer costs 1 ms, so
// every wait the tool measures on the tick count runs out. After `budget`
// transfers the hub leaves the bus for good, so a run that keeps talking ends
// as soon as the tool gives up on a silent hub; one that never gives up is
// stopped by the simulated hub 200000 transfers later.
//
// Every frame the tool sets is checked as it arrives (131 bytes, report ID 2
// or 0, nothing beyond its payload); a bad one aborts with a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/hub.h"

namespace fuzzhub {

using Mode = sim::Mode;
using Exchange = sim::Frame;

enum class Replies { Raw, Model };

// A fault that strikes one transfer (counted from 1, sets and gets alike):
// the set or get fails, or the hub vanishes from the bus with it.
enum class Fault { Fails, Vanishes };
struct FaultAt {
  std::uint32_t transfer;
  Fault fault;
};

// Delays on the virtual clock; kNever: the change never comes.
constexpr std::uint32_t kNever = 0xFFFFFFFFu;

struct Setup {
  Replies replies = Replies::Raw;
  Mode mode = Mode::Normal;
  std::uint8_t mark = 0xFF;        // the calibration mark, at 0x7C00
  std::uint32_t enter_ms = 1200;   // CMD_ENTER_DFU until the loader is on the bus
  std::uint32_t return_ms = 1800;  // the loader's CMD_START until the hub is back
  std::uint32_t vanish_ms = 1500;  // a vanished device is back after this
  std::uint32_t budget = 8000;     // transfers before the hub leaves for good
  // Replies::Model: the transfers these strike fail, the others go through;
  // no input byte decides an outcome, so a fault deep in a run costs the
  // input three bytes instead of one per transfer before it.
  std::vector<FaultAt> faults;
};

// A new world on the input: a fresh simulated hub, the clock at 0, the
// input's cursor at its first byte. The input must outlive the run.
void Start(const std::uint8_t* data, std::size_t size, const Setup& setup);

// The next input byte, 0 once the input is used up. The harnesses draw their
// own choices from the same stream.
std::uint8_t Next();
bool InputLeft();

const std::vector<Exchange>& Exchanges();
const sim::Memory& InitialMemory();
const sim::Memory& HubMemory();
// Downloads the loader took whole and started (CMD_START after a full image).
int DownloadsCompleted();
// Handles opened and not closed.
int OpenHandles();
// Calls made on a handle after it was closed.
int ClosedHandleUses();

}  // namespace fuzzhub
