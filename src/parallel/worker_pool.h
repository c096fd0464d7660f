// A fixed set of threads that run one task at a time together with the calling thread. The
// solver starts it once per run, before the table builds; the builds and the searches hand it
// their work.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/thread.h"

class WorkerPool {
 public:
  // Starts a thread as platform::startThread does: false when it is refused, never throws.
  using ThreadStarter = bool (*)(platform::Thread& thread, void (*body)(void*), void* argument,
                                 std::size_t stackBytes) noexcept;

  // Checks of a waiting thread before it sleeps: about half a millisecond, so that tasks that
  // follow each other closely (the passes of a table build) find the threads awake, while an
  // idle pool still costs no CPU. Waking a sleeping thread takes tens of microseconds, as long
  // as a whole pass.
  static constexpr unsigned kSpinChecks = 1 << 14;

  // Aims at `workers` workers: the calling thread and workers - 1 threads. A thread that
  // cannot be started only lowers the count; the calling thread always remains, so nothing
  // is thrown and nothing is printed. Tests choose how threads start and how long they spin.
  explicit WorkerPool(unsigned workers, ThreadStarter start = &platform::startThread,
                      unsigned spinChecks = kSpinChecks);
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  // Joins every thread; no task may be running.
  ~WorkerPool();

  // Workers that run a task, the calling thread included.
  unsigned size() const { return threadCount_ + 1; }

  // Joins every thread and gives back what they held (their stacks above all); later tasks run
  // on the calling thread alone. For an allocation that fails while the threads hold memory.
  // No task may be running.
  void releaseThreads() noexcept;

  // Runs task(worker) once on every worker, worker 0 on the calling thread, and returns when
  // all have returned; what they wrote is then visible to the caller. A task that throws ends
  // the process, as the other workers would still be running it.
  template <typename Task>
  void run(Task& task) {
    runErased(&task, [](void* erased, unsigned worker) noexcept {
      (*static_cast<Task*>(erased))(worker);
    });
  }

 private:
  using Invoke = void (*)(void*, unsigned) noexcept;
  struct Worker {
    platform::Thread thread;
    WorkerPool* pool;
    unsigned index;
  };

  // Sleeping until an atomic changes, for a thread that has spun long enough. The protocol
  // does not rely on std::atomic::wait, whose library fallbacks can lose a wake-up.
  class Sleep {
   public:
    // Returns the value of `value` once it no longer holds `old`.
    std::uint32_t untilChanged(const std::atomic<std::uint32_t>& value, std::uint32_t old);
    // Wakes every sleeper; call after changing the value with a seq_cst operation.
    void wake();

   private:
    std::mutex lock_;
    std::condition_variable changed_;
    // Sleepers that may be asleep; announced under lock_ before the last look at the value.
    std::atomic<std::uint32_t> sleepers_{0};
  };

  void runErased(void* task, Invoke invoke);
  void serve(unsigned worker);
  static void serveOn(void* worker);  // a thread's body; `worker` is its Worker
  std::uint32_t waitForChange(const std::atomic<std::uint32_t>& value, std::uint32_t old,
                              Sleep& sleep);

  // Owned: room for the threads asked for, from std::malloc; released with the threads.
  Worker* workers_ = nullptr;
  unsigned threadCount_ = 0;
  unsigned spinChecks_;
  // The task of the current generation; written before generation_ is raised.
  void* task_ = nullptr;
  Invoke invoke_ = nullptr;
  bool stopping_ = false;
  // Raised once per task (and once to stop); the threads wait for it to change.
  std::atomic<std::uint32_t> generation_{0};
  // Threads still running the current task.
  std::atomic<std::uint32_t> busy_{0};
  Sleep threadsSleep_;  // for generation_
  Sleep callerSleep_;   // for busy_
};

// Calls body(begin, end) for consecutive pieces of [0, count), each `pieceSize` long (at least
// 1) but the last, on all workers of `pool`; every piece runs once. Worker w starts on the w-th
// of equal stretches of the pieces, so that calls over the same range give each worker mostly
// the same pieces, whose memory its cache still holds; a worker done with its stretch takes
// pieces left in the others', so one that shares its CPU with other work takes fewer. With one
// worker, or a count of one piece, the pieces run in order on the calling thread.
template <typename Body>
void forEachPiece(WorkerPool& pool, std::size_t count, std::size_t pieceSize, Body&& body) {
  if (pool.size() == 1 || count <= pieceSize) {
    for (std::size_t begin = 0; begin < count; begin += pieceSize)
      body(begin, std::min(count, begin + pieceSize));
    return;
  }
  // More workers share stretches: the cursors stay on the stack.
  constexpr unsigned kMaxStretches = 64;
  struct alignas(64) Stretch {
    std::atomic<std::size_t> next;  // the next piece to take
    std::size_t end;
  };
  const unsigned stretchCount = std::min(pool.size(), kMaxStretches);
  Stretch stretches[kMaxStretches];
  const std::size_t pieces = (count - 1) / pieceSize + 1;
  for (unsigned s = 0; s < stretchCount; ++s) {
    stretches[s].next.store(pieces * s / stretchCount, std::memory_order_relaxed);
    stretches[s].end = pieces * (s + 1) / stretchCount;
  }
  auto task = [&](unsigned worker) {
    for (unsigned k = 0; k < stretchCount; ++k) {
      Stretch& stretch = stretches[(worker + k) % stretchCount];
      for (;;) {
        const std::size_t piece = stretch.next.fetch_add(1, std::memory_order_relaxed);
        if (piece >= stretch.end) break;
        body(piece * pieceSize, std::min(count, (piece + 1) * pieceSize));
      }
    }
  };
  pool.run(task);
}
