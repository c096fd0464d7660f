// Many positions in one call: one lane per worker, each lane solving one position at a time,
// a position's large bounds shared out as units that idle lanes help with, and the results
// handed over in input order from a bounded window of positions in flight.
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
// Bounds shared at once. Each holds units for every lane, so a bound is shared only while one
// of these is free; the others run whole on their lane.
constexpr unsigned kMaxSharedBounds = 4;
constexpr Clock::duration kStopCheckEvery = std::chrono::milliseconds(100);
// An idle lane looks again this often even when nobody wakes it.
constexpr Clock::duration kIdleWait = std::chrono::milliseconds(10);

struct Item {
  Solution solution;
  Board board;
  bool toSearch = false;
  std::atomic<bool> ready{false};  // solution final; set by the lane that solved it
};

struct SharedBound {
  std::unique_ptr<SharedUnits> units;  // made by the first lane that shares a bound here
  std::atomic<bool> taken{false};      // a lane shares one of its bounds here
  std::atomic<bool> open{false};       // its units may be taken
  std::atomic<unsigned> helpers{0};    // lanes looking at or running its units
};

// What a lane is doing: one position, a bound at a time.
struct LaneWork {
  Item* item = nullptr;
  std::unique_ptr<Deepening> deepening;
  unsigned bound = 0;
  Clock::duration searched{};  // the wall time of its bounds, not of helping others between
};

class Batch {
 public:
  Batch(const Engine& engine, WorkerPool& workers, Callbacks& callbacks, Goal goal,
        const std::function<bool(Position&)>& next, const std::function<bool(Solution&&)>& done)
      : engine_(engine),
        workers_(workers),
        callbacks_(callbacks),
        goal_(goal),
        next_(next),
        done_(done),
        lanes_(workers.size()),
        capacity_(kPositionsPerLane * lanes_),
        items_(new Item[capacity_]),
        sharedCount_(std::min(lanes_, kMaxSharedBounds)),
        shared_(new SharedBound[sharedCount_]) {}

  std::size_t run() {
    auto task = [this](unsigned lane) { runLane(lane); };
    workers_.run(task);
    return handed_;
  }

 private:
  void runLane(unsigned lane);
  void coordinate();
  bool help(unsigned lane);
  Item* take();
  void step(LaneWork& work, unsigned lane, WorkerPool& alone);
  BoundResult runBound(Deepening& deepening, unsigned bound, unsigned lane);
  void complete(LaneWork& work);
  void wake();
  void stop() { stopping_.store(true); }

  const Engine& engine_;
  WorkerPool& workers_;
  Callbacks& callbacks_;
  const Goal goal_;
  const std::function<bool(Position&)>& next_;
  const std::function<bool(Solution&&)>& done_;
  const unsigned lanes_;
  const std::size_t capacity_;
  std::unique_ptr<Item[]> items_;  // position k in items_[k % capacity_]
  const unsigned sharedCount_;
  std::unique_ptr<SharedBound[]> shared_;

  // The calling thread's (lane 0's) alone.
  std::size_t delivered_ = 0;  // positions handed to done or found needing no search
  std::size_t handed_ = 0;     // solutions that went to done
  bool inputEnded_ = false;
  Clock::time_point nextStopCheck_ = Clock::now();

  std::mutex lock_;  // guards drawn_, taken_ and changes_
  std::condition_variable changed_;
  std::size_t drawn_ = 0;  // positions drawn so far
  std::size_t taken_ = 0;  // positions taken by a lane, or passed over needing no search
  std::atomic<std::uint64_t> changes_{0};  // raised whenever an idle lane may find work
  std::atomic<bool> stopping_{false};
  std::atomic<bool> finished_{false};
};

void Batch::runLane(unsigned lane) {
  // A lane searches whole bounds on its own thread.
  WorkerPool alone(1);
  LaneWork work;
  for (;;) {
    const std::uint64_t seen = changes_.load();
    if (lane == 0) coordinate();
    if (stopping_.load() || finished_.load()) break;
    // The oldest positions' bounds first: they hold up the results behind them.
    if (help(lane)) continue;
    if (work.item == nullptr) work.item = take();
    if (work.item != nullptr) {
      step(work, lane, alone);
      continue;
    }
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
  for (unsigned k = 0; k < sharedCount_; ++k) {
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
      finishSolved(solution, work.item->board, work.deepening->directions(work.bound), goal_);
      return complete(work);
    }
    work.bound += 2;
  } catch (const std::bad_alloc&) {
    fail(solution, kSearchMemoryFailure);
    complete(work);
  }
}

// A bound large enough to share is shared while a SharedBound is free; the lane runs its
// units with the helpers, then waits for the last helper before it puts the count together.
BoundResult Batch::runBound(Deepening& deepening, unsigned bound, unsigned lane) {
  SharedBound* shared = nullptr;
  for (unsigned k = 0; k < sharedCount_ && shared == nullptr; ++k) {
    bool taken = false;
    if (shared_[k].taken.compare_exchange_strong(taken, true)) shared = &shared_[k];
  }
  if (shared != nullptr && !shared->units) {
    try {
      shared->units = engine_.sharedUnits(lanes_);
    } catch (const std::bad_alloc&) {
    }
  }
  if (shared == nullptr || !shared->units || !deepening.shareBound(bound, *shared->units, lanes_)) {
    if (shared != nullptr) shared->taken.store(false);
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
  const BoundResult result = deepening.finishBound(bound, units);
  shared->taken.store(false);
  return result;
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

}  // namespace

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
