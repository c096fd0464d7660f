// Threads started with an explicit stack size, whose failure to start is a return value: a
// std::thread reports it by an exception, which needs memory that may be exactly what ran out.
#pragma once

#include <cstddef>
#include <thread>

namespace platform {

// A thread while it runs; it must stay at its address from startThread to joinThread. Only
// thread.cpp reads the fields.
struct Thread {
  void (*body)(void*) = nullptr;
  void* argument = nullptr;
  // The system's handle of the thread, copied in as bytes.
  alignas(std::max_align_t) unsigned char handle[16] = {};
  // Owned where the thread's stack is mapped by startThread; unmapped by joinThread.
  void* stack = nullptr;
  std::size_t stackBytes = 0;
  // Where the system offers nothing but std::thread.
  std::thread standard;
};

// Starts a thread that runs body(argument) on a stack of at least `stackBytes` (rounded up to
// what the system accepts; ignored where only std::thread is available). False, with nothing
// started and nothing to release, when the system refuses; never throws.
bool startThread(Thread& thread, void (*body)(void*), void* argument,
                 std::size_t stackBytes) noexcept;

// Waits for a thread that startThread started and releases what it held.
void joinThread(Thread& thread) noexcept;

// The start where the system offers only std::thread: `make` returns the started thread, and
// whatever it throws (std::system_error from the system, std::bad_alloc for the thread's state,
// or anything else a library may use) is a refusal. `thread` must not hold a thread.
template <typename Make>
bool startStandardThread(std::thread& thread, Make&& make) noexcept {
  try {
    thread = make();
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace platform
