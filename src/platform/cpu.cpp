#include "platform/cpu.h"

#include <thread>

#if defined(__linux__)
#include <sched.h>

#include <cerrno>
#elif defined(_WIN32)
#include <windows.h>

#include <bit>
#endif

namespace platform {

namespace {

// 0 when the mask cannot be read.
unsigned affinityCount() noexcept {
#if defined(__linux__)
  // The fixed set holds 1024 CPUs, which needs no allocation; a kernel with more possible
  // CPUs refuses it with EINVAL, and then a set twice as large is tried, and so on.
  cpu_set_t fixed;
  CPU_ZERO(&fixed);
  if (sched_getaffinity(0, sizeof fixed, &fixed) == 0) {
    return static_cast<unsigned>(CPU_COUNT(&fixed));
  }
  if (errno != EINVAL) return 0;
  // The kernel's own limit is 8192 CPUs (CONFIG_NR_CPUS); the bound only ends the loop.
  constexpr int kMostCpus = 1 << 20;
  for (int cpus = 2 * CPU_SETSIZE; cpus <= kMostCpus; cpus *= 2) {
    cpu_set_t* set = CPU_ALLOC(cpus);
    if (set == nullptr) return 0;
    const std::size_t size = CPU_ALLOC_SIZE(cpus);
    CPU_ZERO_S(size, set);
    const bool read = sched_getaffinity(0, size, set) == 0;
    const int error = errno;
    const int count = read ? CPU_COUNT_S(size, set) : 0;
    CPU_FREE(set);
    if (read) return static_cast<unsigned>(count);
    if (error != EINVAL) return 0;
  }
  return 0;
#elif defined(_WIN32)
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) == 0) return 0;
  return static_cast<unsigned>(std::popcount(static_cast<unsigned long long>(process)));
#else
  return 0;
#endif
}

}  // namespace

unsigned availableCpus() noexcept {
  const unsigned mask = affinityCount();
  if (mask > 0) return mask;
  const unsigned machine = std::thread::hardware_concurrency();
  return machine > 0 ? machine : 1;
}

}  // namespace platform
