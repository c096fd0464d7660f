// Lets a test choose the failing table allocation of a whole program run through the
// environment; the program itself reads no environment.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "alloc/allocation_injector.h"

namespace {

// A table still allocated at exit turns the exit status into this, which no run expects.
constexpr int kLeakStatus = 97;

void checkReleased() {
  if (allocation_injector::liveAllocations() == 0) return;
  std::fflush(stdout);
  _exit(kLeakStatus);
}

const bool configured = [] {
  if (const char* n = std::getenv("ZELVAR_FAIL_ALLOCATION")) {
    allocation_injector::failAllocationsFrom(static_cast<unsigned>(std::strtoul(n, nullptr, 10)));
  }
  std::atexit(checkReleased);
  return true;
}();

}  // namespace
