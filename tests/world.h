// The test world: the simulated hub on its bus, the screen model, the scripted
// operator and the virtual clock, wired to the tool's entry, which runs
// in-process. A scenario test sets the world up, runs the tool and reads the
// transcript: standard output, screen cells, boxes, frames, hub memory, time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/clock.h"
#include "sim/hub.h"
#include "tests/operator.h"
#include "tests/screen.h"

namespace world {

// A fresh world: a new hub with these options, a blank screen, an operator
// who answers OK at once, the virtual clock at 0.
void Reset(sim::Options options = {});

// Resets the world, binds the HID library and opens the hub: its normal-mode
// interface, or the loader when the options put the hub in DFU mode.
os::HANDLE OpenHub(sim::Options options = {});

// The feature reports set to the hub (ok or not), in order.
std::vector<sim::Frame> SetFrames();

// Runs the tool with these arguments after the program's name; its exit code.
int RunTool(const std::vector<std::u16string>& arguments = {});

// Everything the run wrote to standard output.
const std::string& Stdout();

// Codes of the commands and queries set to the hub, in order (failed sets
// included, each attempt once).
std::vector<std::uint8_t> SetCodes();
// Codes of the commands (not queries) the hub took.
std::vector<std::uint8_t> CommandsTaken();
// How many of the hub's frames were sets of this code.
int CountSets(std::uint8_t code);

// A folder of its own for this test's files, made anew.
std::filesystem::path TempDir();

// Writes `image` followed by its CRC-32/JAMCRC (little-endian) to TempDir()/name
// and returns the path as the tool takes it.
std::u16string WriteImageFile(const std::vector<std::uint8_t>& image,
                              const std::string& name = "0000000A.bin");

// An image of `size` bytes in a recognisable pattern.
std::vector<std::uint8_t> PatternImage(std::size_t size = 0x7000, std::uint8_t salt = 0x5A);

std::u16string Widen(const std::string& text);

// What a download prints after `blocks` blocks: "Data Transfer=64\r" and on.
std::string Progress(int blocks = 448);

// Whether memory[from, to) holds `bytes`.
bool Same(const sim::Memory& memory, std::size_t from, std::size_t to, const std::uint8_t* bytes);

}  // namespace world
