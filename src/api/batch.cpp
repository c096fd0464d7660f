#include "api/batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

#include "api/solver_impl.h"
#include "search/search.h"

namespace zelvar::detail {

namespace {

using Clock = std::chrono::steady_clock;

// Positions in flight per lane: enough queued that a lane rarely waits for the calling thread
// to draw more, and enough done behind a long one that the others go on meanwhile.
constexpr std::size_t kPositionsPerLane = 16;
// At most this many units to a shared bound, so that the units each lane keeps for its own
// bounds do not grow with the number of lanes (a lane's storage: 1.2 MB at most). It still
// leaves 64 a lane at 64 lanes; a single solve gives a large bound 1,024 a worker.
constexpr unsigned kMaxUnitsPerSharedBound = 4096;
constexpr Clock::duration kStopCheckEvery = std::chrono::milliseconds(100);
// An idle lane looks again this often even when nobody wakes it.
constexpr Clock::duration kIdleWait = std::chrono::milliseconds(10);

}  // namespace

Batch::Batch(const Engine& engine, WorkerPool& workers, Callbacks& callbacks, Goal goal,
             const std::function<bool(Position&)>& next,
             const std::function<bool(Solution&&)>& done)
    : engine_(engine),
      workers_(workers),
      callbacks_(callbacks),
      goal_(goal),
      next_(next),
      done_(done),
      lanes_(workers.size()),
      capacity_(kPositionsPerLane * lanes_),
      items_(new Item[capacity_]),
      shared_(new SharedBound[lanes_]) {}

void Batch::runLane(unsigned lane) {
  // A lane searches whole bounds on its own thread.
  WorkerPool alone(1);
  LaneWork work;
  for (;;) {
    const std::uint64_t seen = changes_.load();
    if (lane == 0) coordinate();
    if (stopping_.load() || finished_.load()) break;
    if (work.item == nullptr) work.item = take();
    if (work.item != nullptr) {
      step(work, lane, alone);
      continue;
    }
    // With no position of its own to take (the input has ended, or the window is full behind
    // a long position), a lane helps with the large bounds of the others. Lanes on positions
    // of their own stay apart: each unit a helper runs is one the owner may have to wait for.
    if (help(lane)) continue;
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait_for(hold, lane == 0 ? kStopCheckEvery : kIdleWait,
                      [&] { return changes_.load() != seen; });
  }
}

// Hands over what is done in order, draws positions into the window, asks the stop question.
void Batch::coordinate() {
  for (bool drew = true; drew;) {
    while (!stopping_.load() && delivered_ < drawn_ &&
           items_[delivered_ % capacity_].ready.load(std::memory_order_acquire)) {
      Item& item = items_[delivered_ % capacity_];
      ++delivered_;
      ++handed_;
      if (!callbacks_.guarded([&] { return done_(std::move(item.solution)); })) stop();
      item.solution = Solution();
      item.ready.store(false, std::memory_order_relaxed);
    }
    drew = false;
    while (!stopping_.load() && !inputEnded_ && drawn_ - delivered_ < capacity_) {
      Item& item = items_[drawn_ % capacity_];
      Position position;
      if (!callbacks_.guarded([&] { return next_(position); })) {
        inputEnded_ = true;
        if (callbacks_.threw()) stop();
        break;
      }
      try {
        item.toSearch = admit(position, goal_, item.solution, item.board);
      } catch (const std::bad_alloc&) {
        fail(item.solution, kSearchMemoryFailure);
        item.toSearch = false;
      }
      if (!item.toSearch) item.ready.store(true, std::memory_order_relaxed);
      {
        const std::lock_guard<std::mutex> hold(lock_);
        ++drawn_;
        changes_.fetch_add(1);
      }
      changed_.notify_all();
      drew = true;
    }
  }
  const Clock::time_point now = Clock::now();
  if (now >= nextStopCheck_) {
    nextStopCheck_ = now + kStopCheckEvery;
    if (!callbacks_.goOn()) stop();
  }
  if (stopping_.load() || (inputEnded_ && delivered_ == drawn_)) {
    finished_.store(true);
    wake();
  }
}

// Runs one unit of a bound that another lane shares; false when there is none to run.
bool Batch::help(unsigned lane) {
  for (unsigned k = 0; k < lanes_; ++k) {
    SharedBound& shared = shared_[k];
    if (!shared.open.load()) continue;
    // Announced before the second look, so that the owner, once it has closed the bound and
    // seen no helper, knows that none will touch its units.
    shared.helpers.fetch_add(1);
    const bool ran = shared.open.load() && shared.units->runUnit(lane);
    shared.helpers.fetch_sub(1);
    if (ran) return true;
  }
  return false;
}

Item* Batch::take() {
  const std::lock_guard<std::mutex> hold(lock_);
  while (taken_ < drawn_) {
    Item& item = items_[taken_++ % capacity_];
    if (item.toSearch) return &item;
  }
  return nullptr;
}

void Batch::step(LaneWork& work, unsigned lane, WorkerPool& alone) {
  Solution& solution = work.item->solution;
  try {
    if (!work.deepening) {
      work.deepening = engine_.start(work.item->board, alone, {});
      solution.estimate = work.deepening->estimate();
      solution.estimateTerms = work.deepening->estimateTerms();
      work.bound = solution.estimate;
    }
    if (work.bound > kMaxBound) {
      solution.status = Status::noSolution;
      solution.error = "No solution found.";
      return complete(work);
    }
    const Clock::time_point start = Clock::now();
    const BoundResult result = runBound(*work.deepening, work.bound, lane);
    work.searched += Clock::now() - start;
    // Stopped: the whole batch is, and nothing more is handed over.
    if (result == BoundResult::stopped) return;
    solution.bounds.push_back({work.bound, work.deepening->boundNodes()});
    solution.nodes += work.deepening->boundNodes();
    if (result == BoundResult::found) {
      std::vector<int> directions;
      work.deepening->directions(work.bound, directions);
      finishSolved(solution, work.item->board, directions, goal_);
      return complete(work);
    }
    work.bound += 2;
  } catch (const std::bad_alloc&) {
    fail(solution, kSearchMemoryFailure);
    complete(work);
  }
}

// A bound large enough is shared in the lane's own SharedBound: the lane runs its units with
// any helpers, then waits for the last helper before it puts the count together. Cut into
// units, it is also one that a stop ends soon.
BoundResult Batch::runBound(Deepening& deepening, unsigned bound, unsigned lane) {
  SharedBound* const shared = &shared_[lane];
  if (!shared->units) {
    try {
      shared->units = engine_.sharedUnits(lanes_);
    } catch (const std::bad_alloc&) {
    }
  }
  if (!shared->units ||
      !deepening.shareBound(bound, *shared->units, lanes_, kMaxUnitsPerSharedBound)) {
    return deepening.searchBound(bound);
  }
  SharedUnits& units = *shared->units;
  shared->open.store(true);
  wake();
  do {
    if (lane == 0) coordinate();
    if (stopping_.load()) units.stop();
  } while (units.runUnit(lane));
  shared->open.store(false);
  while (shared->helpers.load() != 0) {
    if (lane == 0) coordinate();
    std::this_thread::yield();
  }
  return deepening.finishBound(bound, units);
}

void Batch::complete(LaneWork& work) {
  work.item->solution.seconds = std::chrono::duration<double>(work.searched).count();
  work.item->ready.store(true, std::memory_order_release);
  work = LaneWork();
  wake();
}

void Batch::wake() {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    changes_.fetch_add(1);
  }
  changed_.notify_all();
}

}  // namespace zelvar::detail

namespace zelvar {

std::size_t Solver::solveMany(const std::function<bool(Position& position)>& next,
                              const std::function<bool(Solution&& solution)>& done,
                              const SolveOptions& options) const {
  detail::Callbacks callbacks(options);
  std::size_t handed = 0;
  if (impl_ && impl_->engine) {
    // The workers serve one call at a time; the others solve on their own thread.
    std::unique_lock<std::mutex> lock(impl_->workersInUse, std::try_to_lock);
    WorkerPool alone(1);
    std::unique_ptr<detail::Batch> batch;
    try {
      batch =
          std::make_unique<detail::Batch>(*impl_->engine, lock.owns_lock() ? impl_->workers : alone,
                                          callbacks, options.goal, next, done);
    } catch (const std::bad_alloc&) {
    }
    if (batch) {
      handed = batch->run();
      callbacks.rethrow();
      return handed;
    }
  }
  // Without tables, or without memory for the window: one position at a time, each solve
  // saying why it fails.
  SolveOptions each;
  each.goal = options.goal;
  each.stopRequested = options.stopRequested;
  for (;;) {
    if (options.stopRequested && options.stopRequested()) break;
    Position position;
    if (!next(position)) break;
    Solution solution = detail::solveOne(impl_.get(), position, each);
    if (solution.status == Status::stopped) break;
    ++handed;
    if (!done(std::move(solution))) break;
  }
  return handed;
}

}  // namespace zelvar
