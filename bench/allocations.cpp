// The replaceable global allocation functions, counting each allocation and
// leaving the work to malloc and free. The C++ library's array and nothrow
// forms call these, so they are counted too. The benchmarks run on one thread.
#include "bench/allocations.h"

#include <cstdlib>
#include <new>

namespace {

std::uint64_t count = 0;

}  // namespace

namespace allocations {

std::uint64_t Count() {
  return count;
}

}  // namespace allocations

void* operator new(std::size_t size) {
  ++count;
  // malloc(0) may answer null; operator new must not.
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

void operator delete(void* block) noexcept {
  std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}
