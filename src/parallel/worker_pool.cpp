#include "parallel/worker_pool.h"

#include <sched.h>

#include "platform/hints.h"

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

// Waits until `value` no longer holds `old`; returns what it holds then.
std::uint32_t waitForChange(const std::atomic<std::uint32_t>& value, std::uint32_t old) {
  for (int check = 1; check <= kSpinChecks; ++check) {
    const std::uint32_t now = value.load(std::memory_order_acquire);
    if (now != old) return now;
    if (check % kChecksPerYield == 0) {
      std::this_thread::yield();
    } else {
      platform::spinPause();  // 6 us per task without it, measured
    }
  }
  value.wait(old, std::memory_order_acquire);
  return value.load(std::memory_order_acquire);
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
  try {
    threads_.reserve(workers - 1);
    for (unsigned worker = 1; worker < workers; ++worker)
      threads_.push_back(start([this, worker] { serve(worker); }));
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
