// One bound of iterative deepening on every worker of a pool, with exactly the result, node
// count and path of the one-thread search. The tree is cut at a frontier a few moves below the
// root into work units, the subtrees under the frontier nodes in the order in which the
// one-thread search reaches them; workers take units in that order, and the count is put
// together from the counts of the units, the part of the tree above them and the first
// solution.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "parallel/worker_pool.h"
#include "search/search.h"

class ParallelSearch {
 public:
  // Borrows the pool, which must outlive this object.
  explicit ParallelSearch(WorkerPool& workers);
  ParallelSearch(const ParallelSearch&) = delete;
  ParallelSearch& operator=(const ParallelSearch&) = delete;
  ~ParallelSearch();

  // Does what search(context, movesLeft, kNoDirection, ...) does (the same result, count added
  // to nodeCount and path) with the tree split into at least `unitsWanted` units where the
  // bound allows. The frontier is deepened a level at a time while it has fewer units and
  // the next level would keep the nodes counted to find it within `frontierNodesAllowed`; it
  // always goes one move down. With fewer than two units wanted, or when no split is
  // possible, it is search itself on the calling thread.
  bool run(SearchContext& context, unsigned movesLeft, unsigned topLeftIndex,
           unsigned topRightIndex, unsigned bottomLeftIndex, unsigned bottomRightIndex,
           unsigned unitsWanted, std::uint64_t frontierNodesAllowed);

  // What the last run split the tree into, for tests and measurements.
  struct Split {
    unsigned depth = 0;        // frontier depth; 0 when the run did not split
    std::size_t units = 0;     // units at the frontier
    std::size_t solvedIn = 0;  // the unit that held the solution, when one was found
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

  WorkerPool& workers_;
  bool reserve(std::size_t capacity);

  // The units of the current bound and the workers' results, allocated at the first split (a
  // run that cannot have them searches on one thread) and kept for the later bounds.
  std::vector<Unit> units_;
  std::vector<Unit> spare_;  // where the next depth's frontier is grown
  std::vector<WorkerState> states_;
  std::size_t unitCount_ = 0;
  std::uint64_t nodesAbove_ = 0;     // nodes of the one-thread order counted above the units
  std::uint64_t frontierNodes_ = 0;  // counted to find the frontier, every depth tried
  const SearchContext* context_ = nullptr;
  // Shared by the workers during a run: the next unit to take, and the lowest unit known to
  // hold a solution, after which no unit is wanted. Apart, as every unit writes the first and
  // the top levels of every walk read the second.
  alignas(64) std::atomic<std::size_t> nextUnit_{0};
  alignas(64) std::atomic<std::int64_t> abandonAfter_{0};
  Split lastSplit_;
};
