// The fuzz programs' own checks: a failed one names what broke and aborts, so
// libFuzzer keeps the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzzcheck {

inline void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "\nfuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace fuzzcheck
