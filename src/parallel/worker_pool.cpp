#include "parallel/worker_pool.h"

#include <sched.h>

namespace {

// Checks before a waiting thread sleeps, each after a pause of the CPU and every
// kChecksPerYield-th after yielding it instead: about half a millisecond, so that tasks that
// follow each other closely (the passes of a table build) find the threads awake, while an
// idle pool still costs no CPU. Waking a sleeping thread takes tens of microseconds, as long
// as a whole pass.
constexpr int kSpinChecks = 1 << 14;
// Threads of a pool that share a CPU (more workers than CPUs, or one the system would not keep
// to its own) would keep each other from running for milliseconds by spinning alone; yielding
// lets them take turns.
constexpr int kChecksPerYield = 64;

// Tells the CPU that this is a spin loop. Without it a thread spinning on a cache line can
// hold up another core's write to it for the whole spin (6 us per task, measured).
inline void pauseSpin() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  __asm__ __volatile__("yield");
#endif
}

// Waits until `value` no longer holds `old`; returns what it holds then.
std::uint32_t waitForChange(const std::atomic<std::uint32_t>& value, std::uint32_t old) {
  for (int check = 1; check <= kSpinChecks; ++check) {
    const std::uint32_t now = value.load(std::memory_order_acquire);
    if (now != old) return now;
    if (check % kChecksPerYield == 0) {
      std::this_thread::yield();
    } else {
      pauseSpin();
    }
  }
  value.wait(old, std::memory_order_acquire);
  return value.load(std::memory_order_acquire);
}

// The `n`-th CPU (from 0, counted round) of `mask` other than `skip`; -1 when there is none.
int otherCpu(const cpu_set_t& mask, int skip, unsigned n) {
  unsigned count = 0;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
    count += CPU_ISSET(cpu, &mask) && cpu != skip ? 1 : 0;
  if (count == 0) return -1;
  n %= count;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &mask) && cpu != skip && n-- == 0) return cpu;
  }
  return -1;
}

// Keeps the calling thread on `cpu`, when it is one (a failure leaves it free).
void keepTo(int cpu) {
  if (cpu < 0) return;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(cpu, &one);
  sched_setaffinity(0, sizeof one, &one);
}

}  // namespace

unsigned availableCpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<unsigned>(count);
  }
  const unsigned machine = std::thread::hardware_concurrency();
  return machine > 0 ? machine : 1;
}

WorkerPool::WorkerPool(unsigned workers, ThreadStarter start) {
  // A thread that cannot be started leaves fewer workers; every report is the same with any
  // number of them.
  if (workers <= 1) return;
  // Each thread keeps to one CPU of the mask other than its creator's. Schedulers that pack
  // threads, as this machine's does, start a new thread on its creator's CPU and leave the two
  // there for milliseconds, as long as a table build, before they move one.
  cpu_set_t mask;
  CPU_ZERO(&mask);
  const bool pin = sched_getaffinity(0, sizeof mask, &mask) == 0;
  const int creator = sched_getcpu();
  try {
    threads_.reserve(workers - 1);
    for (unsigned worker = 1; worker < workers; ++worker) {
      const int cpu = pin ? otherCpu(mask, creator, worker - 1) : -1;
      threads_.push_back(start([this, worker, cpu] {
        keepTo(cpu);
        serve(worker);
      }));
    }
  } catch (...) {  // std::system_error from the system, std::bad_alloc for the thread's state
  }
}

WorkerPool::~WorkerPool() {
  if (threads_.empty()) return;
  stopping_ = true;
  generation_.fetch_add(1, std::memory_order_release);
  generation_.notify_all();
  for (std::thread& thread : threads_)
    thread.join();
}

void WorkerPool::runErased(void* task, Invoke invoke) {
  if (threads_.empty()) {
    invoke(task, 0);
    return;
  }
  task_ = task;
  invoke_ = invoke;
  busy_.store(static_cast<std::uint32_t>(threads_.size()), std::memory_order_relaxed);
  generation_.fetch_add(1, std::memory_order_release);
  generation_.notify_all();
  invoke(task, 0);
  for (std::uint32_t busy = busy_.load(std::memory_order_acquire); busy != 0;)
    busy = waitForChange(busy_, busy);
}

void WorkerPool::serve(unsigned worker) {
  std::uint32_t seen = 0;
  for (;;) {
    seen = waitForChange(generation_, seen);
    if (stopping_) return;
    invoke_(task_, worker);
    if (busy_.fetch_sub(1, std::memory_order_acq_rel) == 1) busy_.notify_one();
  }
}
