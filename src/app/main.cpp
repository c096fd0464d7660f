// Zelvar: reads a fifteen-puzzle position from standard input and prints an optimal solution.
#include <chrono>
#include <csignal>
#include <cstdio>

#include "app/version.h"
#include "board/board.h"
#include "input/configuration.h"
#include "platform/output.h"
#include "zelvar/zelvar.h"

namespace {

constexpr int kMovesPerLine = 15;

// Sends what is buffered; false once the output has failed (its reader gone, its disk full),
// after which nothing the run computes can be seen.
bool flushed() {
  return std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
}

// Milliseconds of a monotonic clock; only differences are used.
long long readClockMilliseconds() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

// Builds the tables and solves, printing the report as each part of it is known.
void solveAndReport(const Board& position) {
  std::printf("Generating databases. Please wait.\n");
  if (!flushed()) return;
  const zelvar::Solver solver;
  if (!solver.error().empty()) {
    // Without memory even for the solver itself, the move table is what would fail first; the
    // library's own text for that case is short enough to need no heap.
    std::printf("%s\n", solver.workers() == 0 ? "Failed to allocate memory for move table."
                                              : solver.error().c_str());
    return;
  }
  zelvar::Numbers numbers;
  for (int cell = 0; cell < kCells; ++cell)
    numbers[static_cast<std::size_t>(cell)] = position.tiles[static_cast<std::size_t>(cell)];

  long long start = 0;
  zelvar::SolveOptions options;
  options.onEstimate = [&start](const zelvar::Solution& solution) {
    const std::vector<unsigned>& terms = solution.estimateTerms;
    std::printf("Initial estimate: %u + %u + %u + %u = %u moves\n", terms[0], terms[1], terms[2],
                terms[3], solution.estimate);
    start = readClockMilliseconds();
  };
  // Shows which bound is running during a long search, and starts none once nobody reads.
  options.onBoundStart = [](unsigned bound) {
    std::printf("%4u moves: ", bound);
    return flushed();
  };
  options.onBoundEnd = [](const zelvar::BoundCount& bound) {
    std::printf("%10llu nodes\n", static_cast<unsigned long long>(bound.nodes));
    return true;
  };
  options.stopRequested = [] { return platform::outputReaderGone(stdout); };
  const zelvar::Solution solution = solver.solve(numbers, options);
  const long long end = readClockMilliseconds();
  // Stopped: nobody would see the rest of the report.
  if (solution.status == zelvar::Status::stopped) return;
  if (solution.status == zelvar::Status::failed) {
    std::printf("%s\n", solution.error.c_str());
    return;
  }

  std::printf("%llu nodes total\n", static_cast<unsigned long long>(solution.nodes));
  const long long ticks = end - start;
  std::printf("%f seconds\n", static_cast<double>(ticks) / 1000.0);
  if (ticks != 0) {
    std::printf("%f nodes per second\n",
                static_cast<double>(solution.nodes) / static_cast<double>(ticks) * 1000.0);
  }
  if (!solution.solved()) {
    std::printf("%s\n", solution.error.c_str());
    return;
  }
  int movesOnLine = 0;
  for (const zelvar::Move& move : solution.moves) {
    std::printf("%2u%c ", static_cast<unsigned>(move.tile), move.direction);
    if (++movesOnLine == kMovesPerLine) {
      movesOnLine = 0;
      std::printf("\n");
    }
  }
}

}  // namespace

int main() {
#ifdef SIGPIPE
  // A reader that leaves early would otherwise end the run by a signal. The failed write is
  // noticed at the next flush instead, which ends the run, and the exit status stays 1.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  Board position;
  std::printf("Zelvar version %s - An optimal solver for the fifteen puzzle\n", kVersion);
  std::printf("Written by the Zelvar developers; free to use, copy and change.\n");
  std::printf("Enter the initial configuration now:\n");
  // Through a pipe the prompt would otherwise wait in the buffer while the program waits for
  // input. Nobody sees the answer when it cannot be shown.
  if (std::fflush(stdout) != 0) return 1;
  if (readConfiguration(position)) solveAndReport(position);
  // The exit status is 1 on every path; callers rely on it.
  return 1;
}
