// The solving stage of a run: build both pattern databases, deepen the search bound until a
// solution appears, report statistics and timing, and print the moves.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "board/board.h"
#include "parallel/worker_pool.h"
#include "pattern/pattern_database.h"
#include "search/search.h"

inline constexpr int kMovesPerLine = 15;

struct SolveSummary {
  bool solved = false;
  unsigned length = 0;          // moves in the solution, when solved
  std::uint64_t nodeTotal = 0;  // nodes over all bounds
  unsigned splitBounds = 0;     // bounds run on several workers
};

// What a bound did, as far as its split goes: for the benchmark's model of other machines.
struct BoundTrace {
  std::uint64_t nodes = 0;          // the bound's count, as printed
  std::uint64_t frontierNodes = 0;  // counted on one thread before the units; 0 when unsplit
  // The units' counts in order, up to and with the solving one in the solving bound (later
  // units never delay its end); empty when the bound was not split.
  std::vector<std::uint64_t> unitNodes;
};

// Asks solve to plan every bound's split for `planWorkers` workers (0: for the pool's own)
// while it runs on the pool as usual, and receives one trace per bound searched.
struct SplitTrace {
  unsigned planWorkers = 0;
  std::vector<BoundTrace> bounds;
};

// Builds both databases and solves `position` (fully tracked, solvable), printing everything
// to `out`. A build failure has printed its message and skips the search. The builds and the
// search run on one worker per CPU the process may use. On return the position stands where
// the printed solution leads it.
void runSolver(Board& position, std::FILE* out = stdout);

// Requires both databases fully built and prepared for the search. Prints the estimate, one
// line per bound, the totals and timing, then the solution (or "No solution found.") to `out`.
// Large bounds run on all of `workers`; what is printed does not depend on how many there are.
// The position is back to its input state before the search and stands in the goal after a
// solution has been printed. Once `out`'s reader has left, it returns without printing more:
// between bounds where the output fails, and during a split bound where the system can tell.
// With `trace`, the bounds are split as planned there and traced. The solution's path is left
// in `context.path` as search leaves it.
SolveSummary solve(SearchContext& context, const PatternDatabase& topLeft,
                   const PatternDatabase& bottomRight, Board& position, WorkerPool& workers,
                   std::FILE* out = stdout, SplitTrace* trace = nullptr);

// Slides the position in `direction` (which must be possible) and prints the move as the
// tile number and the letter, breaking the line after every kMovesPerLine moves.
void printMove(Board& position, int direction, std::FILE* out = stdout);
