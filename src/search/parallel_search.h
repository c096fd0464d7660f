// One bound of iterative deepening on every worker of a pool, with exactly the result, node
// count and path of the one-thread search. The tree is cut at a frontier a few moves below the
// root into work units, the subtrees under the frontier nodes in the order in which the
// one-thread search reaches them; workers take units in that order, and the count is put
// together from the counts of the units, the part of the tree above them and the first
// solution.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "parallel/worker_pool.h"
#include "search/search.h"

class ParallelSearch {
 public:
  // Asked by the calling thread as it takes a unit, at most every kStopCheckEvery: true gives
  // up the bound. Must not throw.
  using StopCheck = std::function<bool()>;
  static constexpr std::chrono::milliseconds kStopCheckEvery{100};

  // Borrows the pool, which must outlive this object. A split bound watches `output` (when
  // not null) and is abandoned once nobody reads it any more.
  explicit ParallelSearch(WorkerPool& workers, std::FILE* output = nullptr);
  // The same with any stop question (empty: never stops).
  ParallelSearch(WorkerPool& workers, StopCheck stopRequested);
  // Units run by `workers` threads of the caller's own (numbered 0 to workers - 1) through
  // split, runUnit and finish; run is not available.
  explicit ParallelSearch(unsigned workers);
  ParallelSearch(const ParallelSearch&) = delete;
  ParallelSearch& operator=(const ParallelSearch&) = delete;
  ~ParallelSearch();

  // Does what search(context, movesLeft, kNoDirection, ...) does (the same result, count added
  // to nodeCount and path) with the tree split into at least `unitsWanted` units where the
  // bound allows. The frontier is deepened a level at a time while it has fewer units and
  // the next level would keep the nodes counted to find it within `frontierNodesAllowed`; it
  // always goes one move down. With fewer than two units wanted, or when no split is
  // possible, it is search itself on the calling thread. A run abandoned by the stop check
  // returns false with a partial count; lastSplit().stopped then tells.
  bool run(SearchContext& context, unsigned movesLeft, unsigned topLeftIndex,
           unsigned topRightIndex, unsigned bottomLeftIndex, unsigned bottomRightIndex,
           unsigned unitsWanted, std::uint64_t frontierNodesAllowed);

  // run in three steps, for workers that are not a pool. split cuts the tree as run does and
  // returns false when it cannot (the bound is then to be searched whole; nothing else
  // changed). Then each worker calls runUnit with its number until it returns false; then,
  // once no runUnit call is running any more and every one made has returned, finish adds the
  // count and path to the context and returns what run would. The context is borrowed from
  // split to finish.
  bool split(const SearchContext& context, unsigned movesLeft, unsigned topLeftIndex,
             unsigned topRightIndex, unsigned bottomLeftIndex, unsigned bottomRightIndex,
             unsigned unitsWanted, std::uint64_t frontierNodesAllowed);
  // Takes the next unit and searches it; false when no unit is left to take or the rest are
  // not wanted. Any thread, any time between split and finish.
  bool runUnit(unsigned worker);
  // Gives up every unit, those running included (soon after): finish then returns false with
  // lastSplit().stopped set. Any thread, any time between split and finish.
  void stop() noexcept;
  bool finish(SearchContext& context, unsigned movesLeft);

  // What the last run split the tree into, for tests and measurements.
  struct Split {
    unsigned depth = 0;        // frontier depth; 0 when the run did not split
    std::size_t units = 0;     // units at the frontier
    std::size_t solvedIn = 0;  // the unit that held the solution, when one was found
    // Units after this one were given up: the solving unit, or -1 when every unit was
    // (stopped); the largest int64 when none was.
    std::int64_t abandonAfter = 0;
    bool stopped = false;  // the stop check said so (the output's reader left) and every unit
                           // was given up
    // Nodes the calling thread counted to find the frontier, before any unit ran: every
    // depth it tried, so at least the nodes the report counts above the units.
    std::uint64_t frontierNodes = 0;
  };
  Split lastSplit() const { return lastSplit_; }

  // The nodes below unit `unit` of the last run that split; the unit must have run to its end:
  // one before the solving unit, the solving unit itself (counted up to the goal), or any unit
  // of a run that found no solution.
  std::uint64_t unitNodes(std::size_t unit) const;

 private:
  struct Unit;
  struct alignas(64) WorkerState;

  bool deepen(const SearchContext& context, unsigned depth, std::size_t room);
  void work(unsigned worker);
  void askToStop();

  // Storage of trivially destructible elements whose allocation failure is a result: a
  // bad_alloc may need memory that is not there either, and the program would end. Elements
  // are default-initialised; owned, released by the destructor or the next allocate().
  template <typename T>
  class Array {
   public:
    std::size_t size() const { return size_; }
    T& operator[](std::size_t index) { return elements_[index]; }
    const T& operator[](std::size_t index) const { return elements_[index]; }
    // Replaces the elements with `size` new ones; false (and empty) when there is no memory.
    bool allocate(std::size_t size) noexcept {
      static_assert(std::is_trivially_destructible_v<T>);
      storage_.reset();
      size_ = 0;
      elements_ = nullptr;
      if (size > (SIZE_MAX - alignof(T)) / sizeof(T)) return false;
      // malloc aligns for the fundamental types only; the slack lets over-aligned T fit.
      std::size_t room = size * sizeof(T) + alignof(T) - 1;
      storage_.reset(std::malloc(room));
      void* start = storage_.get();
      if (start == nullptr || std::align(alignof(T), size * sizeof(T), start, room) == nullptr)
        return false;
      std::uninitialized_default_construct_n(static_cast<T*>(start), size);
      elements_ = std::launder(static_cast<T*>(start));
      size_ = size;
      return true;
    }

    void swap(Array& other) noexcept {
      storage_.swap(other.storage_);
      std::swap(elements_, other.elements_);
      std::swap(size_, other.size_);
    }

   private:
    struct Free {
      void operator()(void* storage) const noexcept { std::free(storage); }
    };
    std::unique_ptr<void, Free> storage_;
    T* elements_ = nullptr;  // inside storage_
    std::size_t size_ = 0;
  };

  WorkerPool* workers_;  // borrowed; null for workers of the caller's own
  unsigned workerCount_;
  StopCheck stopRequested_;
  // When the stop check is next asked, in steady clock ticks; read by worker 0 alone.
  std::int64_t nextStopCheck_ = 0;
  bool reserve(std::size_t capacity) noexcept;

  // The units of the current bound and the workers' results, allocated at the first split (a
  // run that cannot have them searches on one thread) and kept for the later bounds.
  Array<Unit> units_;
  Array<Unit> spare_;  // where the next depth's frontier is grown
  Array<WorkerState> states_;
  std::size_t unitCount_ = 0;
  std::uint64_t nodesAbove_ = 0;            // nodes of the one-thread order counted above the units
  std::uint64_t frontierNodes_ = 0;         // counted to find the frontier, every depth tried
  const SearchContext* context_ = nullptr;  // borrowed from split to finish
  unsigned depth_ = 0;                      // of the current frontier
  // Shared by the workers during a run: the next unit to take, and the lowest unit known to
  // hold a solution, after which no unit is wanted. Apart, as every unit writes the first and
  // the top levels of every walk read the second.
  alignas(64) std::atomic<std::size_t> nextUnit_{0};
  alignas(64) std::atomic<std::int64_t> abandonAfter_{0};
  Split lastSplit_;
};
