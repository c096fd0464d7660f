#include "search/position_search.h"

#include <algorithm>
#include <cassert>

#include "board/symmetry.h"

namespace {

// A bound expected to visit fewer nodes than this runs on the calling thread alone: waking the
// workers and cutting the tree would cost more than they save.
constexpr std::uint64_t kParallelFrom = 1 << 20;
// Each bound visits several times the nodes of the one before; this errs on the low side.
constexpr std::uint64_t kGrowthPerBound = 4;
// Many small units keep the workers busy to the end of a bound, whatever the units' sizes. A
// solving bound ends at its solving unit, which for a large bound can come early: more units
// per worker then leave enough before it for every worker.
constexpr unsigned kUnitsPerWorker = 256;
constexpr unsigned kUnitsPerWorkerOfLargeBounds = 1024;
constexpr std::uint64_t kLargeBound = std::uint64_t{1} << 28;
// Smaller units would cost the workers more in taking them than they share out.
constexpr std::uint64_t kSmallestUnitNodes = 1 << 10;
// The frontier is found on one thread while the others wait, so it may count at most this
// share of the bound's nodes.
constexpr std::uint64_t kBoundPerFrontierNode = 1024;

}  // namespace

SplitPlan planSplit(std::uint64_t predicted, unsigned workers, bool evenAlone) {
  if ((workers < 2 && !evenAlone) || predicted < kParallelFrom) return {1, 0};
  const std::uint64_t perWorker =
      predicted > kLargeBound ? kUnitsPerWorkerOfLargeBounds : kUnitsPerWorker;
  const std::uint64_t units = std::max<std::uint64_t>(
      2, std::min(perWorker * std::max(workers, 1u), predicted / kSmallestUnitNodes));
  return {static_cast<unsigned>(units), predicted / kBoundPerFrontierNode};
}

PositionSearch::PositionSearch(const PatternDatabase& topLeft, const PatternDatabase& bottomRight,
                               Board& position) {
  assert(topLeft.searchLayout && bottomRight.searchLayout);
  context_.topLeftMoves = topLeft.moveTable.get();
  context_.topLeftDistances = topLeft.distanceTable.get();
  context_.bottomRightMoves = bottomRight.moveTable.get();
  context_.bottomRightDistances = bottomRight.distanceTable.get();

  // Each mirror is applied twice, which leaves the position as it was.
  topLeftIndex_ = rankPlacement(position, topLeft);
  bottomRightIndex_ = rankPlacement(position, bottomRight);
  mirrorLeftRight(position);
  topRightIndex_ = rankPlacement(position, topLeft);
  mirrorLeftRight(position);
  mirrorUpDown(position);
  bottomLeftIndex_ = rankPlacement(position, topLeft);
  mirrorUpDown(position);

  terms_ = {topLeft.distanceTable[topLeftIndex_], topLeft.distanceTable[topRightIndex_],
            topLeft.distanceTable[bottomLeftIndex_], bottomRight.distanceTable[bottomRightIndex_]};
}

SplitPlan PositionSearch::nextPlan(unsigned workers, bool evenAlone) const {
  const std::uint64_t predicted = boundsSearched_ == 0 ? 0 : boundNodes_ * kGrowthPerBound;
  return planSplit(predicted, workers, evenAlone);
}

bool PositionSearch::runBound(unsigned bound, ParallelSearch& parallel, const SplitPlan& plan) {
  context_.nodeCount = 0;
  const bool found = parallel.run(context_, bound, topLeftIndex_, topRightIndex_, bottomLeftIndex_,
                                  bottomRightIndex_, plan.units, plan.frontierNodesAllowed);
  boundNodes_ = context_.nodeCount;
  ++boundsSearched_;
  return found;
}

bool PositionSearch::splitBound(unsigned bound, ParallelSearch& units, const SplitPlan& plan) {
  context_.nodeCount = 0;
  return units.split(context_, bound, topLeftIndex_, topRightIndex_, bottomLeftIndex_,
                     bottomRightIndex_, plan.units, plan.frontierNodesAllowed);
}

bool PositionSearch::searchBound(unsigned bound) {
  context_.nodeCount = 0;
  const bool found = search(context_, bound, kNoDirection, topLeftIndex_, topRightIndex_,
                            bottomLeftIndex_, bottomRightIndex_);
  boundNodes_ = context_.nodeCount;
  ++boundsSearched_;
  return found;
}

bool PositionSearch::finishBound(unsigned bound, ParallelSearch& units) {
  const bool found = units.finish(context_, bound);
  boundNodes_ = context_.nodeCount;
  ++boundsSearched_;
  return found;
}
