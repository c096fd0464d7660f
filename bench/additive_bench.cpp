// Benchmark of the additive 7-8 heuristic: loads its tables (or builds them, which is the
// first-run cost), then solves a file of positions on all workers, several at once, and prints
// the average node count and the time. --compare solves them again with the interactive
// program's heuristic and checks every length against it.
//
//   zelvar_additive_bench [--tables DIR] [--positions FILE] [--workers N] [--compare]
//   zelvar_additive_bench --check FILE
//
// --check only says whether FILE is a sound table file (exit 0) or why not (exit 1).
// By default the tables are those of the cache folder and the positions the committed 1,000
// random ones (bench/random-positions.txt). The last line, `Signature:`, is the 7-8 node total.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "board/symmetry.h"
#include "parallel/worker_pool.h"
#include "pattern/distance_table.h"
#include "pattern/move_table.h"
#include "pattern/table_file.h"
#include "platform/cpu.h"
#include "search/additive_search.h"
#include "search/search.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: zelvar_additive_bench [--tables DIR] [--positions FILE] [--workers N] "
               "[--compare]\n       zelvar_additive_bench --check FILE\n");
  std::exit(2);
}

std::vector<Board> readBoards(const char* path) {
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    std::fprintf(stderr, "zelvar_additive_bench: cannot open %s\n", path);
    std::exit(2);
  }
  std::vector<Board> boards;
  char line[512];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    std::istringstream numbers(line);
    Board board;
    int cell = 0;
    for (int value; cell < kCells && numbers >> value; ++cell) {
      board.tiles[static_cast<std::size_t>(cell)] = static_cast<std::uint8_t>(value);
      board.row[static_cast<std::size_t>(value)] = cell / kSide;
      board.column[static_cast<std::size_t>(value)] = cell % kSide;
    }
    if (cell == kCells) boards.push_back(board);
  }
  std::fclose(file);
  return boards;
}

struct Result {
  unsigned length = 0;
  std::uint64_t nodes = 0;
};

// Runs solve(index, result) for every board on every worker, several boards at once.
template <typename Solve>
double solveAll(WorkerPool& pool, std::size_t count, std::vector<Result>& results, Solve&& solve) {
  results.assign(count, {});
  std::atomic<std::size_t> next{0};
  auto task = [&](unsigned worker) {
    for (std::size_t i; (i = next.fetch_add(1)) < count;)
      solve(worker, i, results[i]);
  };
  const Clock::time_point start = Clock::now();
  pool.run(task);
  return secondsSince(start);
}

void summarise(const char* name, const std::vector<Result>& results, double seconds) {
  std::uint64_t nodes = 0;
  for (const Result& result : results)
    nodes += result.nodes;
  std::printf("%-22s %12.0f nodes per position %9.3f s for %zu positions\n", name,
              static_cast<double>(nodes) / static_cast<double>(results.size()), seconds,
              results.size());
}

// The interactive program's heuristic: its databases and one bound at a time, as its solver.
Result solveDefault(SearchContext& context, const PatternDatabase& topLeft,
                    const PatternDatabase& bottomRight, Board position) {
  const unsigned topLeftIndex = rankPlacement(position, topLeft);
  const unsigned bottomRightIndex = rankPlacement(position, bottomRight);
  mirrorLeftRight(position);
  const unsigned topRightIndex = rankPlacement(position, topLeft);
  mirrorLeftRight(position);
  mirrorUpDown(position);
  const unsigned bottomLeftIndex = rankPlacement(position, topLeft);
  const unsigned estimate =
      topLeft.distanceTable[topLeftIndex] + topLeft.distanceTable[topRightIndex] +
      topLeft.distanceTable[bottomLeftIndex] + bottomRight.distanceTable[bottomRightIndex];
  Result result;
  for (unsigned bound = estimate; bound <= kMaxBound; bound += 2) {
    context.nodeCount = 0;
    const bool found = search(context, bound, kNoDirection, topLeftIndex, topRightIndex,
                              bottomLeftIndex, bottomRightIndex);
    result.nodes += context.nodeCount;
    if (found) {
      result.length = bound;
      break;
    }
  }
  return result;
}

int check(const char* path) {
  platform::FileView view;
  std::string reason;
  WorkerPool pool(platform::availableCpus());
  if (view.open(path, reason)) reason = checkAdditiveTableFile(view.data(), view.size(), pool);
  std::printf("%s: %s\n", path, reason.empty() ? "sound" : reason.c_str());
  return reason.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--check") == 0) return check(argv[2]);
  AdditiveTableOptions options;
  std::string positionsPath = ZELVAR_SOURCE_DIR "/bench/random-positions.txt";
  unsigned workers = platform::availableCpus();
  bool compare = false;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argument, "--tables") == 0 && hasValue) {
      options.directory = argv[++i];
    } else if (std::strcmp(argument, "--positions") == 0 && hasValue) {
      positionsPath = argv[++i];
    } else if (std::strcmp(argument, "--workers") == 0 && hasValue) {
      workers = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
      if (workers == 0) usage();
    } else if (std::strcmp(argument, "--compare") == 0) {
      compare = true;
    } else {
      usage();
    }
  }
  const std::vector<Board> boards = readBoards(positionsPath.c_str());
  if (boards.empty()) usage();
  WorkerPool pool(workers);
  std::printf("Workers: %u; positions: %zu from %s\n", pool.size(), boards.size(),
              positionsPath.c_str());

  bool built = false;
  options.notice = [&](std::string_view line) {
    built = built || line.find("building") != std::string_view::npos;
    std::printf("tables: %.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(stdout);
  };
  AdditiveTableSet tables;
  const Clock::time_point loadStart = Clock::now();
  const std::string error = loadAdditiveTables(tables, options, pool);
  const double loadSeconds = secondsSince(loadStart);
  if (!error.empty()) {
    std::printf("%s\n", error.c_str());
    return 1;
  }
  std::printf("Tables %s in %.2f s; file %s, %zu bytes\n",
              built ? "built (and written)" : "mapped and verified", loadSeconds,
              additiveTablesPath(options.directory).c_str(), kAdditiveFileBytes);

  const AdditiveTables view = {tables.eight(), tables.seven()};
  std::vector<Result> additive;
  const double additiveSeconds =
      solveAll(pool, boards.size(), additive, [&](unsigned, std::size_t i, Result& result) {
        const AdditiveSolution solution = solveAdditive(view, boards[i]);
        result = {solution.length, solution.nodes};
        if (solution.estimate.value() > solution.length) {
          std::printf("position %zu: estimate %u above its length %u\n", i + 1,
                      solution.estimate.value(), solution.length);
        }
      });
  summarise("additive 7-8:", additive, additiveSeconds);

  if (compare) {
    PatternDatabase bottomRight(4, kBottomRightPattern);
    PatternDatabase topLeft(5, kTopLeftPattern);
    if (!buildMoveTable(bottomRight, pool) || !buildDistanceTable(bottomRight, pool) ||
        !buildMoveTable(topLeft, pool) || !buildDistanceTable(topLeft, pool)) {
      return 1;
    }
    prepareForSearch(bottomRight, pool);
    prepareForSearch(topLeft, pool);
    std::vector<SearchContext> contexts(pool.size());
    for (SearchContext& context : contexts) {
      context.topLeftMoves = topLeft.moveTable.get();
      context.topLeftDistances = topLeft.distanceTable.get();
      context.bottomRightMoves = bottomRight.moveTable.get();
      context.bottomRightDistances = bottomRight.distanceTable.get();
    }
    std::vector<Result> reference;
    const double referenceSeconds = solveAll(
        pool, boards.size(), reference, [&](unsigned worker, std::size_t i, Result& result) {
          result = solveDefault(contexts[worker], topLeft, bottomRight, boards[i]);
        });
    summarise("default (zelvar):", reference, referenceSeconds);
    std::size_t differ = 0;
    for (std::size_t i = 0; i < boards.size(); ++i) {
      if (additive[i].length != reference[i].length) {
        std::printf("position %zu: length %u, the default heuristic's %u\n", i + 1,
                    additive[i].length, reference[i].length);
        ++differ;
      }
    }
    std::printf("Lengths: %zu of %zu equal to the default heuristic's\n", boards.size() - differ,
                boards.size());
    if (differ != 0) return 1;
  }
  std::uint64_t total = 0;
  for (const Result& result : additive)
    total += result.nodes;
  std::printf("Signature: %llu\n", static_cast<unsigned long long>(total));
  return 0;
}
