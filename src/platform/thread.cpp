#include "platform/thread.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(_WIN32)
#define ZELVAR_WINDOWS_THREADS 1
#include <process.h>
#include <windows.h>
#elif __has_include(<pthread.h>) && __has_include(<sys/mman.h>) && __has_include(<unistd.h>)
#define ZELVAR_POSIX_THREADS 1
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#endif

namespace platform {

namespace {

template <typename Handle>
void storeHandle(Thread& thread, const Handle& handle) {
  static_assert(sizeof(Handle) <= sizeof(thread.handle));
  std::memcpy(thread.handle, &handle, sizeof(Handle));
}

template <typename Handle>
Handle loadHandle(const Thread& thread) {
  Handle handle;
  std::memcpy(&handle, thread.handle, sizeof(Handle));
  return handle;
}

}  // namespace

#if defined(ZELVAR_WINDOWS_THREADS)

namespace {

unsigned __stdcall runBody(void* raw) {
  Thread& thread = *static_cast<Thread*>(raw);
  thread.body(thread.argument);
  return 0;
}

}  // namespace

bool startThread(Thread& thread, void (*body)(void*), void* argument,
                 std::size_t stackBytes) noexcept {
  thread.body = body;
  thread.argument = argument;
  // Without the flag the size would be what is committed at once, not the reservation.
  const std::uintptr_t handle = _beginthreadex(nullptr, static_cast<unsigned>(stackBytes), &runBody,
                                               &thread, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (handle == 0) return false;
  storeHandle(thread, reinterpret_cast<HANDLE>(handle));
  return true;
}

void joinThread(Thread& thread) noexcept {
  const HANDLE handle = loadHandle<HANDLE>(thread);
  WaitForSingleObject(handle, INFINITE);
  CloseHandle(handle);
}

#elif defined(ZELVAR_POSIX_THREADS)

namespace {

void* runBody(void* raw) {
  Thread& thread = *static_cast<Thread*>(raw);
  thread.body(thread.argument);
  return nullptr;
}

}  // namespace

bool startThread(Thread& thread, void (*body)(void*), void* argument,
                 std::size_t stackBytes) noexcept {
  thread.body = body;
  thread.argument = argument;
  const long reportedPage = sysconf(_SC_PAGESIZE);
  const std::size_t page = reportedPage > 0 ? static_cast<std::size_t>(reportedPage) : 4096;
  const std::size_t minimum = PTHREAD_STACK_MIN;
  const std::size_t stack = (std::max(stackBytes, minimum) + page - 1) / page * page;
  // The stack is mapped here rather than by the thread library, which keeps the stacks of
  // joined threads for later ones: joined, a thread gives all its memory back at once. The
  // guard page turns an overflow into a crash instead of a write into other memory.
  const std::size_t bytes = stack + page;
  void* mapping = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) return false;
  pthread_attr_t attributes;
  pthread_t handle{};
  bool started = false;
  if (mprotect(mapping, page, PROT_NONE) == 0 && pthread_attr_init(&attributes) == 0) {
    started = pthread_attr_setstack(&attributes, static_cast<char*>(mapping) + page, stack) == 0 &&
              pthread_create(&handle, &attributes, &runBody, &thread) == 0;
    pthread_attr_destroy(&attributes);
  }
  if (!started) {
    munmap(mapping, bytes);
    return false;
  }
  storeHandle(thread, handle);
  thread.stack = mapping;
  thread.stackBytes = bytes;
  return true;
}

void joinThread(Thread& thread) noexcept {
  // Once joined, the thread has left its stack.
  pthread_join(loadHandle<pthread_t>(thread), nullptr);
  munmap(thread.stack, thread.stackBytes);
  thread.stack = nullptr;
}

#else

bool startThread(Thread& thread, void (*body)(void*), void* argument, std::size_t) noexcept {
  thread.body = body;
  thread.argument = argument;
  return startStandardThread(thread.standard,
                             [&thread] { return std::thread(thread.body, thread.argument); });
}

void joinThread(Thread& thread) noexcept {
  try {
    thread.standard.join();
  } catch (...) {  // only for a thread that is not running, which startThread never leaves
  }
}

#endif

}  // namespace platform
