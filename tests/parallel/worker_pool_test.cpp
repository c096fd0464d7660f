#include "parallel/worker_pool.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Every worker runs each task exactly once, and what they wrote is seen after run returns.
void expectEachWorkerRunsEachTask(WorkerPool& pool) {
  for (int task = 0; task < 50; ++task) {
    std::vector<int> runs(pool.size(), 0);
    auto count = [&](unsigned worker) { ++runs[worker]; };
    pool.run(count);
    EXPECT_EQ(runs, std::vector<int>(pool.size(), 1)) << "task " << task;
  }
}

std::atomic<int> threadsStarted{0};

// Refuses every thread after the second, as the system does when it runs out of them.
std::thread startTwoThreads(std::function<void()> body) {
  if (threadsStarted.fetch_add(1) >= 2) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  }
  return std::thread(std::move(body));
}

}  // namespace

TEST(WorkerPool, RunsEachTaskOnceOnEveryWorker) {
  for (unsigned workers : {0u, 1u, 2u, 5u}) {
    WorkerPool pool(workers);
    EXPECT_EQ(pool.size(), workers == 0 ? 1u : workers);
    expectEachWorkerRunsEachTask(pool);
  }
}

// Tasks far apart find the threads asleep, and a caller done before its workers sleeps too;
// a lost wake-up hangs here.
TEST(WorkerPool, WakesSleepingWorkersAndASleepingCaller) {
  WorkerPool pool(3);
  for (int task = 0; task < 5; ++task) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<int> runs(pool.size(), 0);
    auto slowWorkers = [&](unsigned worker) {
      if (worker != 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      ++runs[worker];
    };
    pool.run(slowWorkers);
    EXPECT_EQ(runs, std::vector<int>(pool.size(), 1)) << "task " << task;
  }
}

TEST(WorkerPool, KeepsTheThreadsItCouldStart) {
  threadsStarted = 0;
  WorkerPool pool(7, &startTwoThreads);
  EXPECT_EQ(pool.size(), 3u);
  expectEachWorkerRunsEachTask(pool);
}

// Every index of the range lands in exactly one piece; pieces start at multiples of the piece
// size and are that long but the last; one worker takes them in order. Counts below, at and
// past a multiple of the piece size, on pools of one to more workers than CPUs.
TEST(ForEachPiece, CoversTheRangeOnceInWholePieces) {
  for (unsigned workers : {1u, 2u, 3u, 7u}) {
    WorkerPool pool(workers);
    struct Range {
      std::size_t count, pieceSize;
    };
    for (const Range range : {Range{0, 4}, Range{3, 4}, Range{4, 4}, Range{5, 4}, Range{1000, 7},
                              Range{1000, 1}, Range{4096, 512}}) {
      const std::size_t count = range.count;
      const std::size_t pieceSize = range.pieceSize;
      SCOPED_TRACE(std::to_string(workers) + " workers, " + std::to_string(count) + " in " +
                   std::to_string(pieceSize));
      std::vector<std::atomic<int>> covered(count);
      std::atomic<int> misshapen{0};
      std::atomic<int> outOfOrder{0};
      std::size_t nextOnCaller = 0;
      forEachPiece(pool, count, pieceSize, [&](std::size_t begin, std::size_t end) {
        const bool whole = end - begin == pieceSize || (end == count && end > begin);
        if (begin % pieceSize != 0 || !whole || end > count) ++misshapen;
        for (std::size_t i = begin; i < end && i < count; ++i)
          covered[i].fetch_add(1, std::memory_order_relaxed);
        if (pool.size() == 1) {
          if (begin != nextOnCaller) ++outOfOrder;
          nextOnCaller = end;
        }
      });
      std::size_t once = 0;
      for (const std::atomic<int>& times : covered)
        once += times.load() == 1 ? 1 : 0;
      EXPECT_EQ(once, count);
      EXPECT_EQ(misshapen.load(), 0);
      EXPECT_EQ(outOfOrder.load(), 0);
    }
  }
}

// Pinned to one CPU, as by taskset -c 0, the program starts no thread besides its own.
TEST(AvailableCpus, FollowsTheAffinityMask) {
  cpu_set_t original;
  ASSERT_EQ(sched_getaffinity(0, sizeof original, &original), 0);
  int first = 0;
  while (!CPU_ISSET(first, &original))
    ++first;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(first, &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  const unsigned pinned = availableCpus();
  ASSERT_EQ(sched_setaffinity(0, sizeof original, &original), 0);
  EXPECT_EQ(pinned, 1u);
  EXPECT_EQ(availableCpus(), static_cast<unsigned>(CPU_COUNT(&original)));
}
