#include "search/solver.h"

#include <algorithm>
#include <cassert>
#include <chrono>

#include "board/symmetry.h"
#include "pattern/distance_table.h"
#include "pattern/move_table.h"
#include "platform/cpu.h"
#include "search/parallel_search.h"

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

struct SplitPlan {
  unsigned units;  // 1: do not split
  std::uint64_t frontierNodesAllowed;
};

// How to split a bound predicted to count `predicted` nodes for `workers` workers.
SplitPlan planSplit(std::uint64_t predicted, unsigned workers) {
  if (workers < 2 || predicted < kParallelFrom) return {1, 0};
  const std::uint64_t perWorker =
      predicted > kLargeBound ? kUnitsPerWorkerOfLargeBounds : kUnitsPerWorker;
  const std::uint64_t units =
      std::max<std::uint64_t>(2, std::min(perWorker * workers, predicted / kSmallestUnitNodes));
  return {static_cast<unsigned>(units), predicted / kBoundPerFrontierNode};
}

// Sends what is buffered; false once the output has failed (its reader gone, its disk full),
// after which nothing the run computes can be seen.
bool flushed(std::FILE* out) {
  return std::fflush(out) == 0 && std::ferror(out) == 0;
}

// Milliseconds of a monotonic clock; only differences are used.
long long readClockMilliseconds() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

void traceBound(SplitTrace& trace, const ParallelSearch& parallel, std::uint64_t nodes) {
  const ParallelSearch::Split split = parallel.lastSplit();
  BoundTrace& bound = trace.bounds.emplace_back();
  bound.nodes = nodes;
  if (split.depth == 0) return;
  bound.frontierNodes = split.frontierNodes;
  const std::size_t ran = split.solvedIn < split.units ? split.solvedIn + 1 : split.units;
  for (std::size_t unit = 0; unit < ran; ++unit)
    bound.unitNodes.push_back(parallel.unitNodes(unit));
}

}  // namespace

void runSolver(Board& position, std::FILE* out) {
  PatternDatabase bottomRight(4, kBottomRightPattern);
  PatternDatabase topLeft(5, kTopLeftPattern);
  // Started once, before the builds, which run on all of it as the search does. Its threads
  // end before the tables are released, which is then quicker (0.2 ms, measured).
  WorkerPool workers(platform::availableCpus());
  std::fprintf(out, "Generating databases. Please wait.\n");
  if (!flushed(out)) return;
  if (!buildMoveTable(bottomRight, workers, out) ||
      !buildDistanceTable(bottomRight, workers, out) || !buildMoveTable(topLeft, workers, out) ||
      !buildDistanceTable(topLeft, workers, out)) {
    return;
  }
  prepareForSearch(bottomRight, workers);
  prepareForSearch(topLeft, workers);
  SearchContext context;
  solve(context, topLeft, bottomRight, position, workers, out);
}

SolveSummary solve(SearchContext& context, const PatternDatabase& topLeft,
                   const PatternDatabase& bottomRight, Board& position, WorkerPool& workers,
                   std::FILE* out, SplitTrace* trace) {
  assert(topLeft.searchLayout && bottomRight.searchLayout);
  context.topLeftMoves = topLeft.moveTable.get();
  context.topLeftDistances = topLeft.distanceTable.get();
  context.bottomRightMoves = bottomRight.moveTable.get();
  context.bottomRightDistances = bottomRight.distanceTable.get();

  // Each mirror is applied twice, which leaves the position as it was.
  const unsigned topLeftIndex = rankPlacement(position, topLeft);
  const unsigned bottomRightIndex = rankPlacement(position, bottomRight);
  mirrorLeftRight(position);
  const unsigned topRightIndex = rankPlacement(position, topLeft);
  mirrorLeftRight(position);
  mirrorUpDown(position);
  const unsigned bottomLeftIndex = rankPlacement(position, topLeft);
  mirrorUpDown(position);

  const unsigned topLeftDistance = topLeft.distanceTable[topLeftIndex];
  const unsigned topRightDistance = topLeft.distanceTable[topRightIndex];
  const unsigned bottomLeftDistance = topLeft.distanceTable[bottomLeftIndex];
  const unsigned bottomRightDistance = bottomRight.distanceTable[bottomRightIndex];
  const unsigned estimate =
      topLeftDistance + topRightDistance + bottomLeftDistance + bottomRightDistance;
  std::fprintf(out, "Initial estimate: %u + %u + %u + %u = %u moves\n", topLeftDistance,
               topRightDistance, bottomLeftDistance, bottomRightDistance, estimate);

  const unsigned planned =
      trace != nullptr && trace->planWorkers != 0 ? trace->planWorkers : workers.size();
  const long long start = readClockMilliseconds();
  ParallelSearch parallel(workers, out);
  std::uint64_t previousNodes = 0;
  SolveSummary summary;
  unsigned threshold = estimate;
  // Every move changes the estimate's parity, so only every second bound can succeed.
  for (; threshold <= kMaxBound; threshold += 2) {
    std::fprintf(out, "%4u moves: ", threshold);
    // Shows which bound is running during a long search, and starts none once nobody reads.
    if (!flushed(out)) return summary;
    context.nodeCount = 0;
    const SplitPlan plan = planSplit(previousNodes * kGrowthPerBound, planned);
    const bool found =
        parallel.run(context, threshold, topLeftIndex, topRightIndex, bottomLeftIndex,
                     bottomRightIndex, plan.units, plan.frontierNodesAllowed);
    // Nobody would see the rest of the bound's report, nor anything after it.
    if (parallel.lastSplit().readerGone) return summary;
    if (parallel.lastSplit().depth > 0) ++summary.splitBounds;
    std::fprintf(out, "%10llu nodes\n", static_cast<unsigned long long>(context.nodeCount));
    if (trace != nullptr) traceBound(*trace, parallel, context.nodeCount);
    summary.nodeTotal += context.nodeCount;
    previousNodes = context.nodeCount;
    context.nodeCount = 0;
    if (found) {
      summary.solved = true;
      summary.length = threshold;
      break;
    }
  }
  const long long end = readClockMilliseconds();
  std::fprintf(out, "%llu nodes total\n", static_cast<unsigned long long>(summary.nodeTotal));

  const long long ticks = end - start;
  std::fprintf(out, "%f seconds\n", static_cast<double>(ticks) / 1000.0);
  if (ticks != 0) {
    std::fprintf(out, "%f nodes per second\n",
                 static_cast<double>(summary.nodeTotal) / static_cast<double>(ticks) * 1000.0);
  }

  if (!summary.solved) {
    std::fprintf(out, "No solution found.\n");
    return summary;
  }
  for (unsigned k = summary.length; k-- > 0;)
    printMove(position, context.path[k], out);
  return summary;
}

void printMove(Board& position, int direction, std::FILE* out) {
  bool movedTracked = false;
  slide(position, direction, movedTracked);
  std::fprintf(out, "%2u%c ", static_cast<unsigned>(position.lastTile),
               kDirectionLetters[direction]);
  if (++position.movesOnLine == kMovesPerLine) {
    position.movesOnLine = 0;
    std::fprintf(out, "\n");
  }
}
