#include "alloc/allocation_injector.h"

#include <cstdio>
#include <cstdlib>

#include "pattern/pattern_database.h"

namespace {

// Plain constant-initialised state: usable before any constructor has run and never
// allocating itself. Tables are allocated by the calling thread only.
constinit unsigned failFrom = 0;
constinit bool failOnce = false;
constinit unsigned attempts = 0;
constexpr int kMaxLive = 64;
constinit void* live[kMaxLive] = {};
constinit unsigned liveCount = 0;

void track(void* pointer) {
  for (void*& slot : live) {
    if (slot == nullptr) {
      slot = pointer;
      ++liveCount;
      return;
    }
  }
  std::fputs("allocation injector: too many live allocations to track\n", stderr);
  std::abort();
}

void* allocate(std::size_t bytes) noexcept {
  ++attempts;
  const bool fails = failFrom != 0 && (failOnce ? attempts == failFrom : attempts >= failFrom);
  if (fails) return nullptr;
  void* pointer = std::malloc(bytes);
  if (pointer != nullptr) track(pointer);
  return pointer;
}

void release(void* pointer) noexcept {
  if (pointer == nullptr) return;
  for (void*& slot : live) {
    if (slot == pointer) {
      slot = nullptr;
      --liveCount;
      break;
    }
  }
  std::free(pointer);
}

// Before main, and so before the first table.
const bool installed = [] {
  tableMemory = {&allocate, &release};
  return true;
}();

}  // namespace

namespace allocation_injector {

void failAllocationsFrom(unsigned n) {
  failFrom = n;
  failOnce = false;
  attempts = 0;
}

void failOnlyAllocation(unsigned n) {
  failFrom = n;
  failOnce = true;
  attempts = 0;
}

unsigned attemptedAllocations() {
  return attempts;
}

unsigned liveAllocations() {
  return liveCount;
}

}  // namespace allocation_injector
