#include "alloc/allocation_injector.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

// Plain constant-initialised state: usable before any constructor has run and never
// allocating itself.
constinit unsigned failAt = 0;
constinit unsigned attempts = 0;
constexpr int kMaxLive = 64;
constinit void* live[kMaxLive] = {};
constinit unsigned liveCount = 0;

void* allocate(std::size_t size) {
  return std::malloc(size == 0 ? 1 : size);
}

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

void release(void* pointer) {
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

}  // namespace

namespace allocation_injector {

void failNthAllocation(unsigned n) {
  failAt = n;
  attempts = 0;
}

unsigned attemptedAllocations() {
  return attempts;
}

unsigned liveAllocations() {
  return liveCount;
}

}  // namespace allocation_injector

// The whole array family is replaced, the throwing form too, so that every delete[] here
// meets memory from malloc; a sanitizer's own (weak) definitions give way to these.
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (++attempts == failAt) return nullptr;
  void* pointer = allocate(size);
  if (pointer != nullptr) track(pointer);
  return pointer;
}

void* operator new[](std::size_t size) {
  void* pointer = allocate(size);
  if (pointer == nullptr) throw std::bad_alloc();
  return pointer;
}

void operator delete[](void* pointer) noexcept {
  release(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
  release(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
  release(pointer);
}
