#include "parallel/worker_pool.h"

#include <sched.h>

namespace {

// Checks before a worker sleeps: tasks that follow each other closely then find the threads
// awake, while an idle pool still costs no CPU.
constexpr int kSpinChecks = 1 << 14;

// Waits until `value` no longer holds `old`; returns what it holds then.
std::uint32_t waitForChange(const std::atomic<std::uint32_t>& value, std::uint32_t old) {
  for (int check = 0; check < kSpinChecks; ++check) {
    const std::uint32_t now = value.load(std::memory_order_acquire);
    if (now != old) return now;
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
