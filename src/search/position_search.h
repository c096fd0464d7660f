// One position's iterative deepening, a bound at a time: its four view indices and estimate,
// the search context that holds the last bound's count and path, and how each bound is split
// across workers. The solver run and the library drive it; it prints nothing.
#pragma once

#include <array>
#include <cstdint>

#include "board/board.h"
#include "pattern/pattern_database.h"
#include "search/parallel_search.h"
#include "search/search.h"

// How to split a bound: into at least `units` units (1: not at all), finding them within
// `frontierNodesAllowed` nodes.
struct SplitPlan {
  unsigned units;
  std::uint64_t frontierNodesAllowed;
};

// The plan for a bound predicted to count `predicted` nodes on `workers` workers. A bound
// runs whole on one worker unless `evenAlone`, which cuts large bounds into units there too,
// so that a stop question between units is asked during them.
SplitPlan planSplit(std::uint64_t predicted, unsigned workers, bool evenAlone = false);

class PositionSearch {
 public:
  // Borrows both databases, built and prepared for the search, which must outlive this object.
  // `position` is fully tracked; it is mirrored and back, unchanged afterwards, and not kept.
  PositionSearch(const PatternDatabase& topLeft, const PatternDatabase& bottomRight,
                 Board& position);
  PositionSearch(const PositionSearch&) = delete;
  PositionSearch& operator=(const PositionSearch&) = delete;

  // The four distances of the estimate: top-left, top-right, bottom-left, bottom-right.
  const std::array<unsigned, 4>& terms() const { return terms_; }
  unsigned estimate() const { return terms_[0] + terms_[1] + terms_[2] + terms_[3]; }

  // How the next bound is to be split for `workers` workers, from the count of the bound
  // before; see planSplit.
  SplitPlan nextPlan(unsigned workers, bool evenAlone = false) const;

  // Searches `bound` on the workers of `parallel`, split as `plan` says. True when it found a
  // solution, whose moves are then in path(). False too when the run was stopped
  // (parallel.lastSplit().stopped); the count is then partial and the bound does not count as
  // searched.
  bool runBound(unsigned bound, ParallelSearch& parallel, const SplitPlan& plan);

  // The same in steps, for workers that are not a pool: splitBound cuts the bound into `units`
  // (false: it cannot be split; searchBound then searches it whole on the calling thread);
  // the workers run units.runUnit; finishBound completes it as runBound would.
  bool splitBound(unsigned bound, ParallelSearch& units, const SplitPlan& plan);
  bool searchBound(unsigned bound);
  bool finishBound(unsigned bound, ParallelSearch& units);

  // The nodes of the last bound searched.
  std::uint64_t boundNodes() const { return boundNodes_; }
  // path[k] is the direction taken with k + 1 moves left, after a bound found a solution.
  const Direction* path() const { return context_.path; }

 private:
  SearchContext context_;
  unsigned topLeftIndex_, topRightIndex_, bottomLeftIndex_, bottomRightIndex_;
  std::array<unsigned, 4> terms_;
  std::uint64_t boundNodes_ = 0;
  // Bounds so far: the first is never split, having no count before it to predict from.
  unsigned boundsSearched_ = 0;
};
