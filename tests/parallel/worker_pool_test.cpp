#include "parallel/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/cpu.h"
#include "search/search.h"

#if defined(__linux__)
#include <sched.h>
#endif

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

// Of six threads, refuses the first, a middle and the last, and fails the third as a
// std::thread start does when its state cannot be allocated.
bool startSomeThreads(platform::Thread& thread, void (*body)(void*), void* argument,
                      std::size_t stackBytes) noexcept {
  const int attempt = threadsStarted.fetch_add(1);
  if (attempt == 0 || attempt == 3 || attempt == 5) return false;
  if (attempt == 2) {
    std::thread unstarted;
    return platform::startStandardThread(unstarted,
                                         []() -> std::thread { throw std::bad_alloc(); });
  }
  return platform::startThread(thread, body, argument, stackBytes);
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
  WorkerPool pool(7, &startSomeThreads);
  EXPECT_EQ(threadsStarted.load(), 6);
  EXPECT_EQ(pool.size(), 3u);
  expectEachWorkerRunsEachTask(pool);

#if defined(__unix__) || defined(__APPLE__)
  // A stack of half the address space is refused, and the thread never runs.
  platform::Thread refused;
  std::atomic<bool> ran{false};
  const bool started = platform::startThread(
      refused, [](void* flag) { static_cast<std::atomic<bool>*>(flag)->store(true); }, &ran,
      std::numeric_limits<std::size_t>::max() / 2);
  if (started) platform::joinThread(refused);
  EXPECT_FALSE(started);
  EXPECT_FALSE(ran.load());
#endif

  // Where the system offers only std::thread, whatever its start throws is a refusal.
  std::thread thread;
  EXPECT_FALSE(platform::startStandardThread(thread, []() -> std::thread {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  }));
  EXPECT_FALSE(thread.joinable());
  std::atomic<bool> standardRan{false};
  EXPECT_TRUE(platform::startStandardThread(
      thread, [&standardRan] { return std::thread([&standardRan] { standardRan = true; }); }));
  ASSERT_TRUE(thread.joinable());
  thread.join();
  EXPECT_TRUE(standardRan.load());
}

// Thousands of short tasks, some after a pause long enough for the threads to fall asleep and
// some with the caller done first, on pools of several sizes. A lost wake-up would hang the
// loop; the watchdog then ends the process, which fails the test. It watches for progress
// rather than the whole time, so that a slow build on a busy machine still passes. The pools
// stop taking tasks at their deadlines, shares of kTime that a pool done early leaves to the
// next, so that the test fits its limit on a busy machine; an idle one runs all the spinning
// pools' tasks and tens of thousands of the others'.
TEST(WorkerPool, LosesNoWakeUpOverManyShortTasks) {
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  std::atomic<unsigned> tasksRun{0};
  std::thread watchdog([&] {
    constexpr auto kMostWithoutProgress = std::chrono::seconds(20);
    std::unique_lock<std::mutex> held(lock);
    unsigned before = 0;
    auto progressed = std::chrono::steady_clock::now();
    while (!finished.wait_for(held, std::chrono::seconds(1), [&] { return done; })) {
      const auto now = std::chrono::steady_clock::now();
      if (tasksRun.load() != before) {
        before = tasksRun.load();
        progressed = now;
      } else if (now - progressed > kMostWithoutProgress) {
        std::fputs("WorkerPool stress: no task returned within 20 s, a wake-up was lost\n", stderr);
        std::abort();
      }
    }
  });
  constexpr std::chrono::seconds kTime(12);
  // Every pool runs at least a whole round of pauses, even on a busy machine, where a spinning
  // pool may take tens of milliseconds a task (63 tasks of 7 workers in its 2 s, measured).
  constexpr unsigned kFewestTasks = 16;
  struct Pool {
    unsigned workers, spinChecks, tasks;
  };
  // Without spinning every wait sleeps, which puts many more wake-ups to the test.
  const Pool pools[] = {{2, WorkerPool::kSpinChecks, 5000},
                        {3, WorkerPool::kSpinChecks, 5000},
                        {7, WorkerPool::kSpinChecks, 5000},
                        {2, 0, 50'000},
                        {3, 0, 50'000},
                        {7, 0, 50'000}};
  const auto started = std::chrono::steady_clock::now();
  for (std::size_t p = 0; p < std::size(pools); ++p) {
    const Pool shape = pools[p];
    const auto deadline = started + kTime * (p + 1) / std::size(pools);
    WorkerPool pool(shape.workers, &platform::startThread, shape.spinChecks);
    EXPECT_EQ(pool.size(), shape.workers);
    std::vector<unsigned> runs(pool.size(), 0);
    unsigned wrongTasks = 0;
    unsigned task = 1;
    for (; task <= shape.tasks && (task % 64 != 0 || std::chrono::steady_clock::now() < deadline);
         ++task) {
      // Pauses from none to past the spinning, which lasts about half a millisecond.
      const unsigned phase = task % 16;
      const auto pause = std::chrono::microseconds(phase < 2 ? task / 16 % 8 * 150 : 0);
      if (phase == 0) std::this_thread::sleep_for(pause);
      auto count = [&](unsigned worker) {
        if (phase == 1 && worker == pool.size() - 1) std::this_thread::sleep_for(pause);
        ++runs[worker];
      };
      pool.run(count);
      tasksRun.fetch_add(1);
      for (const unsigned times : runs)
        wrongTasks += times == task ? 0 : 1;
    }
    const unsigned ran = task - 1;
    std::printf("%u workers, %u spin checks: %u tasks\n", shape.workers, shape.spinChecks, ran);
    EXPECT_EQ(wrongTasks, 0u) << shape.workers << " workers, " << shape.spinChecks << " checks";
    EXPECT_GE(ran, kFewestTasks);
  }
  {
    const std::lock_guard<std::mutex> held(lock);
    done = true;
  }
  finished.notify_one();
  watchdog.join();
}

// The deepest walk there is, on every worker at once: bound kMaxBound over tables whose every
// distance is 0, so that no node is pruned and the walk goes down all the way before it finds
// its "goal". The threads' stacks must hold it, in every build and under the sanitizers. Both
// forms of the walk run: the plain one and the one that may be abandoned.
TEST(WorkerPool, EveryThreadHoldsTheDeepestWalk) {
  // One row for each database: every slide leads back to state 0 with distance 0.
  const std::int32_t row[kDirections] = {};
  const std::uint8_t distance[1] = {};
  WorkerPool pool(3);
  ASSERT_EQ(pool.size(), 3u);
  std::vector<int> solved(pool.size(), 0);
  std::vector<std::uint64_t> nodes(pool.size(), 0);
  auto walk = [&](unsigned worker) {
    SearchContext context;
    context.topLeftMoves = row;
    context.bottomRightMoves = row;
    context.topLeftDistances = distance;
    context.bottomRightDistances = distance;
    if (search(context, kMaxBound, kNoDirection, 0, 0, 0, 0)) ++solved[worker];
    const std::atomic<std::int64_t> never{std::numeric_limits<std::int64_t>::max()};
    const WalkNode root = rootNode(0, 0, 0, 0, kMaxBound, kNoDirection);
    if (walkBelow(context, root, context.path, context.nodeCount, &never, 0) ==
        WalkResult::kSolved) {
      ++solved[worker];
    }
    nodes[worker] = context.nodeCount;
  };
  pool.run(walk);
  EXPECT_EQ(solved, std::vector<int>(pool.size(), 2));
  for (const std::uint64_t count : nodes)
    EXPECT_GT(count, 2u * kMaxBound) << "each walk visits at least one node per level";
}

#if defined(__linux__)
namespace {

struct Mapping {
  std::uintptr_t start = 0, end = 0;
  std::string permissions;  // "rw-p", "---p", ...
};

// The mapping of this process that holds `address`, if any, from /proc/self/maps.
std::optional<Mapping> mappingHolding(std::uintptr_t address) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    std::istringstream fields(line);
    Mapping mapping;
    char dash = 0;
    fields >> std::hex >> mapping.start >> dash >> mapping.end >> mapping.permissions;
    if (mapping.start <= address && address < mapping.end) return mapping;
  }
  return std::nullopt;
}

}  // namespace
#endif

// Each thread's stack has an inaccessible page below it, so that an overflow stops the
// program instead of writing into other memory; and once the pool gives its threads back,
// their stacks are no longer mapped (a table may need that address space).
TEST(WorkerPool, ThreadStacksHaveAGuardPageAndAreGivenBack) {
#if !defined(__linux__)
  GTEST_SKIP() << "the mappings are read from Linux's /proc/self/maps";
#else
  WorkerPool pool(3);
  ASSERT_EQ(pool.size(), 3u);
  std::vector<std::uintptr_t> frames(pool.size(), 0);
  auto record = [&](unsigned worker) {
    frames[worker] = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  };
  pool.run(record);
  for (unsigned worker = 1; worker < pool.size(); ++worker) {
    const std::optional<Mapping> stack = mappingHolding(frames[worker]);
    ASSERT_TRUE(stack.has_value()) << "worker " << worker;
    const std::optional<Mapping> below = mappingHolding(stack->start - 1);
    ASSERT_TRUE(below.has_value()) << "nothing mapped below worker " << worker << "'s stack";
    EXPECT_EQ(below->permissions.substr(0, 3), "---") << "below worker " << worker << "'s stack";
  }
  pool.releaseThreads();
  EXPECT_EQ(pool.size(), 1u);
  for (unsigned worker = 1; worker < frames.size(); ++worker)
    EXPECT_FALSE(mappingHolding(frames[worker]).has_value()) << "worker " << worker << "'s stack";
#endif
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
  EXPECT_GE(platform::availableCpus(), 1u);
#if defined(__linux__)
  cpu_set_t original;
  ASSERT_EQ(sched_getaffinity(0, sizeof original, &original), 0);
  int first = 0;
  while (!CPU_ISSET(first, &original))
    ++first;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(first, &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  const unsigned pinned = platform::availableCpus();
  ASSERT_EQ(sched_setaffinity(0, sizeof original, &original), 0);
  EXPECT_EQ(pinned, 1u);
  EXPECT_EQ(platform::availableCpus(), static_cast<unsigned>(CPU_COUNT(&original)));
#else
  GTEST_SKIP() << "setting the affinity mask needs Linux's sched_setaffinity";
#endif
}
