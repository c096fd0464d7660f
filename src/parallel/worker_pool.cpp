#include "parallel/worker_pool.h"

#include <cstdlib>
#include <new>
#include <thread>

#include "platform/hints.h"

namespace {

// Threads of a pool that share a CPU (more workers than CPUs, or one the system would not keep
// to its own) would keep each other from running for milliseconds by spinning alone; yielding
// lets them take turns.
constexpr unsigned kChecksPerYield = 64;

// Each thread's stack. The deepest walk there is (bound kMaxBound, nothing pruned) takes, measured
// by painting a thread's stack: 9.7 kB optimised, 25 kB at -O0, 12 kB under AddressSanitizer
// and 19 kB under ThreadSanitizer; a whole run's builds and search take less. Four times the
// worst, rounded up. The stack holds the thread's static thread-local storage as well, which
// ThreadSanitizer enlarges by 134 kB: that build sets a size of its own. Small stacks leave a
// limited address space to the tables.
#ifndef ZELVAR_WORKER_STACK_KB
#define ZELVAR_WORKER_STACK_KB 128
#endif
constexpr std::size_t kWorkerStackBytes = std::size_t{ZELVAR_WORKER_STACK_KB} << 10;

}  // namespace

std::uint32_t WorkerPool::Sleep::untilChanged(const std::atomic<std::uint32_t>& value,
                                              std::uint32_t old) {
  std::unique_lock<std::mutex> held(lock_);
  // Announced before the value is read again, both seq_cst: either this read sees the change,
  // or wake() sees the sleeper and then takes lock_, which it can only get once this thread
  // sleeps on changed_ or has seen the change.
  sleepers_.fetch_add(1, std::memory_order_seq_cst);
  std::uint32_t now;
  while ((now = value.load(std::memory_order_seq_cst)) == old)
    changed_.wait(held);
  sleepers_.fetch_sub(1, std::memory_order_relaxed);
  return now;
}

void WorkerPool::Sleep::wake() {
  if (sleepers_.load(std::memory_order_seq_cst) == 0) return;
  // Passing through the lock orders this wake-up after a sleeper's last look at the value.
  { const std::lock_guard<std::mutex> passing(lock_); }
  changed_.notify_all();
}

std::uint32_t WorkerPool::waitForChange(const std::atomic<std::uint32_t>& value, std::uint32_t old,
                                        Sleep& sleep) {
  // Each check after a pause of the CPU, every kChecksPerYield-th after yielding it instead.
  for (unsigned check = 1; check <= spinChecks_; ++check) {
    const std::uint32_t now = value.load(std::memory_order_acquire);
    if (now != old) return now;
    if (check % kChecksPerYield == 0) {
      std::this_thread::yield();
    } else {
      platform::spinPause();  // 6 us per task without it, measured
    }
  }
  return sleep.untilChanged(value, old);
}

WorkerPool::WorkerPool(unsigned workers, ThreadStarter start, unsigned spinChecks)
    : spinChecks_(spinChecks) {
  // A thread that cannot be started leaves fewer workers; every report is the same with any
  // number of them. No allocation here may throw: its exception could find no memory either.
  if (workers <= 1) return;
  workers_ = static_cast<Worker*>(std::malloc(sizeof(Worker) * (workers - 1)));
  if (workers_ == nullptr) return;
  for (unsigned attempt = 1; attempt < workers; ++attempt) {
    Worker* worker = new (&workers_[threadCount_]) Worker{{}, this, threadCount_ + 1};
    if (start(worker->thread, &serveOn, worker, kWorkerStackBytes)) {
      ++threadCount_;
    } else {
      worker->~Worker();
    }
  }
}

WorkerPool::~WorkerPool() {
  releaseThreads();
}

void WorkerPool::releaseThreads() noexcept {
  if (threadCount_ > 0) {
    stopping_ = true;
    generation_.fetch_add(1, std::memory_order_seq_cst);
    threadsSleep_.wake();
    for (unsigned k = 0; k < threadCount_; ++k) {
      platform::joinThread(workers_[k].thread);
      workers_[k].~Worker();
    }
    threadCount_ = 0;
  }
  std::free(workers_);
  workers_ = nullptr;
}

void WorkerPool::runErased(void* task, Invoke invoke) {
  if (threadCount_ == 0) {
    invoke(task, 0);
    return;
  }
  task_ = task;
  invoke_ = invoke;
  busy_.store(threadCount_, std::memory_order_relaxed);
  generation_.fetch_add(1, std::memory_order_seq_cst);
  threadsSleep_.wake();
  invoke(task, 0);
  for (std::uint32_t busy = busy_.load(std::memory_order_acquire); busy != 0;)
    busy = waitForChange(busy_, busy, callerSleep_);
}

void WorkerPool::serve(unsigned worker) {
  std::uint32_t seen = 0;
  for (;;) {
    seen = waitForChange(generation_, seen, threadsSleep_);
    if (stopping_) return;
    invoke_(task_, worker);
    if (busy_.fetch_sub(1, std::memory_order_seq_cst) == 1) callerSleep_.wake();
  }
}

void WorkerPool::serveOn(void* worker) {
  const Worker& self = *static_cast<const Worker*>(worker);
  self.pool->serve(self.index);
}
