// The lanes of Solver::solveMany: one per worker, each solving one position at a time, a
// position's large bounds shared out as units that lanes without work help with, and the
// solutions handed over in input order from a bounded window of positions in flight. Lane 0
// is the calling thread, which also draws the positions, hands the solutions over and asks
// the stop question.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "api/engine.h"
#include "api/solver_impl.h"
#include "board/board.h"
#include "parallel/worker_pool.h"
#include "zelvar/zelvar.h"

namespace zelvar::detail {

struct Item {
  Solution solution;
  Board board;
  bool toSearch = false;
  std::atomic<bool> ready{false};  // solution final; set by the lane that solved it
};

// One lane's large bound, open to the others.
struct SharedBound {
  std::unique_ptr<SharedUnits> units;  // made at the lane's first shared bound
  std::atomic<bool> open{false};       // its units may be taken
  std::atomic<unsigned> helpers{0};    // lanes looking at or running its units
};

// What a lane is doing: one position, a bound at a time.
struct LaneWork {
  Item* item = nullptr;
  std::unique_ptr<Deepening> deepening;
  unsigned bound = 0;
  std::chrono::steady_clock::duration
      searched{};  // the wall time of its bounds, not of helping others between
};

class Batch {
 public:
  // Lanes on all of `workers`; borrows everything. May throw std::bad_alloc.
  Batch(const Engine& engine, WorkerPool& workers, Callbacks& callbacks, Goal goal,
        const std::function<bool(Position&)>& next, const std::function<bool(Solution&&)>& done);

  // Solves until the input ends or the batch is stopped; returns the solutions handed over.
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
  std::unique_ptr<SharedBound[]> shared_;

  // The calling thread's (lane 0's) alone.
  std::size_t delivered_ = 0;  // positions handed to done or found needing no search
  std::size_t handed_ = 0;     // solutions that went to done
  bool inputEnded_ = false;
  std::chrono::steady_clock::time_point nextStopCheck_ = std::chrono::steady_clock::now();

  std::mutex lock_;  // guards drawn_, taken_ and changes_
  std::condition_variable changed_;
  std::size_t drawn_ = 0;  // positions drawn so far
  std::size_t taken_ = 0;  // positions taken by a lane, or passed over needing no search
  std::atomic<std::uint64_t> changes_{0};  // raised whenever an idle lane may find work
  std::atomic<bool> stopping_{false};
  std::atomic<bool> finished_{false};
};

}  // namespace zelvar::detail
