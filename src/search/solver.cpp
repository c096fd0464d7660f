#include "search/solver.h"

#include <algorithm>
#include <cassert>
#include <chrono>

#include "pattern/distance_table.h"
#include "pattern/move_table.h"
#include "platform/cpu.h"
#include "search/parallel_search.h"
#include "search/position_search.h"

namespace {

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
  context.nodeCount = 0;
  PositionSearch search(topLeft, bottomRight, position);
  const std::array<unsigned, 4>& terms = search.terms();
  std::fprintf(out, "Initial estimate: %u + %u + %u + %u = %u moves\n", terms[0], terms[1],
               terms[2], terms[3], search.estimate());

  const unsigned planned =
      trace != nullptr && trace->planWorkers != 0 ? trace->planWorkers : workers.size();
  const long long start = readClockMilliseconds();
  ParallelSearch parallel(workers, out);
  SolveSummary summary;
  unsigned threshold = search.estimate();
  // Every move changes the estimate's parity, so only every second bound can succeed.
  for (; threshold <= kMaxBound; threshold += 2) {
    std::fprintf(out, "%4u moves: ", threshold);
    // Shows which bound is running during a long search, and starts none once nobody reads.
    if (!flushed(out)) return summary;
    const bool found = search.runBound(threshold, parallel, search.nextPlan(planned));
    // Nobody would see the rest of the bound's report, nor anything after it.
    if (parallel.lastSplit().stopped) return summary;
    if (parallel.lastSplit().depth > 0) ++summary.splitBounds;
    const std::uint64_t nodes = search.boundNodes();
    std::fprintf(out, "%10llu nodes\n", static_cast<unsigned long long>(nodes));
    if (trace != nullptr) traceBound(*trace, parallel, nodes);
    summary.nodeTotal += nodes;
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
  // The caller's context holds the path, as it always has.
  std::copy_n(search.path(), summary.length, context.path);
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
