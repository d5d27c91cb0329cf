// Heap allocations made by this program, counted by its own global operator
// new: a benchmark reads the count before and after the code it measures.
#pragma once

#include <cstdint>

namespace allocations {

// Allocations through any operator new since the program started.
std::uint64_t Count();

}  // namespace allocations
