// Benchmark: times the four database builds, then solves a fixed list of positions exactly as
// the program does and prints the total node count as a signature of the search's behaviour.
//
//   zelvar_bench [--builds N] [--positions FILE] [--skip-builds] [--workers N]
//                [--plan-workers P,P,...]
//
// --positions reads other positions (sixteen numbers each) instead of the built-in list.
// --workers sets the workers of the builds and the search; by default one per CPU the process
// may run on, as in the program. The builds are timed on one worker too, turn about, so that
// one run compares the two. --plan-workers solves each position again per count P, its bounds
// split as for P workers, and predicts from the units' node counts how P workers would do.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <queue>
#include <string>
#include <vector>

#include "bench/positions.h"
#include "board/board.h"
#include "input/configuration.h"
#include "parallel/worker_pool.h"
#include "pattern/distance_table.h"
#include "pattern/move_table.h"
#include "pattern/pattern_database.h"
#include "platform/cpu.h"
#include "search/solver.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// Builds both databases in the solver's order on `workers` and prepares them for the search, as
// runSolver does, timing each of the five steps.
bool buildAll(PatternDatabase& bottomRight, PatternDatabase& topLeft, WorkerPool& workers,
              double times[5]) {
  using Build = bool (*)(PatternDatabase&, WorkerPool&, std::FILE*);
  const struct {
    PatternDatabase* database;
    Build build;
  } steps[4] = {{&bottomRight, buildMoveTable},
                {&bottomRight, buildDistanceTable},
                {&topLeft, buildMoveTable},
                {&topLeft, buildDistanceTable}};
  for (int i = 0; i < 4; ++i) {
    const Clock::time_point start = Clock::now();
    if (!steps[i].build(*steps[i].database, workers, stdout)) return false;
    times[i] = millisecondsSince(start);
  }
  const Clock::time_point start = Clock::now();
  prepareForSearch(bottomRight, workers);
  prepareForSearch(topLeft, workers);
  times[4] = millisecondsSince(start);
  return true;
}

// Medians of each step, of the four builds and of everything before the search.
struct BuildTimes {
  std::vector<double> steps[7];

  void add(const double step[5]) {
    double builds = 0;
    for (int i = 0; i < 5; ++i) {
      steps[i].push_back(step[i]);
      if (i < 4) builds += step[i];
    }
    steps[5].push_back(builds);
    steps[6].push_back(builds + step[4]);
  }
};

void benchBuilds(int repetitions, unsigned workerCount) {
  static const char* const kNames[7] = {"bottomRight move table", "bottomRight distances",
                                        "topLeft move table",     "topLeft distances",
                                        "search layout, both",    "all four",
                                        "before the search"};
  static const int kOrder[7] = {0, 1, 2, 3, 5, 4, 6};
  WorkerPool one(1);
  WorkerPool many(workerCount);
  const bool compare = many.size() > 1;
  BuildTimes times[2];
  for (int run = 0; run < repetitions; ++run) {
    // Turn about, so that neither column always runs on the caches the other left.
    for (int turn = 0; turn < (compare ? 2 : 1); ++turn) {
      const int column = compare ? (run + turn) % 2 : 0;
      PatternDatabase bottomRight(4, kBottomRightPattern);
      PatternDatabase topLeft(5, kTopLeftPattern);
      double step[5];
      if (!buildAll(bottomRight, topLeft, column == 0 ? one : many, step)) std::exit(2);
      times[column].add(step);
    }
  }
  std::printf("Database builds, median of %d runs\n", repetitions);
  std::printf("  %-24s %12s", "", "1 worker");
  if (compare) std::printf(" %4u workers", many.size());
  std::printf("\n");
  for (int i : kOrder) {
    std::printf("  %-24s %9.2f ms", kNames[i], median(times[0].steps[i]));
    if (compare) std::printf(" %9.2f ms", median(times[1].steps[i]));
    std::printf("\n");
  }
  if (compare) {
    std::printf("Before the search on %u workers: %.2f of 1 worker\n", many.size(),
                median(times[1].steps[6]) / median(times[0].steps[6]));
  }
}

std::vector<std::string> readPositions(const char* path) {
  std::vector<std::string> positions;
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    std::fprintf(stderr, "cannot open %s\n", path);
    std::exit(2);
  }
  char line[512];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    if (std::strspn(line, " \t\r\n") != std::strlen(line)) positions.emplace_back(line);
  }
  std::fclose(file);
  return positions;
}

// Worker time lost by P workers against one, by cause, in nodes.
struct Losses {
  double serial = 0;     // one thread finding the frontier while the others wait
  double unsplit = 0;    // bounds too small to split, run on one thread
  double tail = 0;       // the solving bound: waiting for the units up to the solving one
  double imbalance = 0;  // other split bounds: waiting for the last units to end
};

// The time of a bound on `workers` workers, time being nodes: the frontier on one thread,
// then the units taken in order, each by the first worker free. A worker's clock starts when
// the frontier is done.
double boundTime(const BoundTrace& bound, unsigned workers, bool solving, Losses& losses) {
  if (bound.unitNodes.empty()) {
    losses.unsplit += static_cast<double>(bound.nodes) * (workers - 1);
    return static_cast<double>(bound.nodes);
  }
  std::priority_queue<double, std::vector<double>, std::greater<>> freeAt;
  for (unsigned worker = 0; worker < workers; ++worker)
    freeAt.push(0);
  double end = 0, work = 0;
  for (std::uint64_t nodes : bound.unitNodes) {
    const double finish = freeAt.top() + static_cast<double>(nodes);
    freeAt.pop();
    freeAt.push(finish);
    end = std::max(end, finish);
    work += static_cast<double>(nodes);
  }
  const auto frontier = static_cast<double>(bound.frontierNodes);
  // What the report counts above the units is part of the work; the rest of the frontier's
  // nodes, and the other workers' wait for it, are lost.
  losses.serial += frontier * workers - (static_cast<double>(bound.nodes) - work);
  (solving ? losses.tail : losses.imbalance) += end * workers - work;
  return frontier + end;
}

void printPlan(const SplitTrace& trace, bool solved) {
  const unsigned workers = trace.planWorkers;
  Losses losses;
  double time = 0, work = 0;
  for (std::size_t i = 0; i < trace.bounds.size(); ++i) {
    const bool solving = solved && i + 1 == trace.bounds.size();
    time += boundTime(trace.bounds[i], workers, solving, losses);
    work += static_cast<double>(trace.bounds[i].nodes);
  }
  const double capacity = std::max(time * workers, 1.0);
  std::printf(
      "planned for %u workers: speedup %.2f, efficiency %.3f (lost: serial frontier %.1f%%, "
      "unsplit bounds %.1f%%, solving-bound tail %.1f%%, end-of-bound imbalance %.1f%%)\n",
      workers, time > 0 ? work / time : 1.0, time > 0 ? work / capacity : 1.0,
      100 * losses.serial / capacity, 100 * losses.unsplit / capacity, 100 * losses.tail / capacity,
      100 * losses.imbalance / capacity);
}

// Through a temporary file, which every system has, as the reader takes a stream.
bool readPosition(const std::string& text, Board& position) {
  std::FILE* in = std::tmpfile();
  if (in == nullptr) return false;
  const bool read = std::fputs(text.c_str(), in) >= 0 && std::fseek(in, 0, SEEK_SET) == 0 &&
                    readConfiguration(position, in, stdout);
  std::fclose(in);
  return read;
}

void benchSearch(const std::vector<std::string>& positions, unsigned workerCount,
                 const std::vector<unsigned>& planWorkers) {
  WorkerPool workers(workerCount);
  PatternDatabase bottomRight(4, kBottomRightPattern);
  PatternDatabase topLeft(5, kTopLeftPattern);
  double unused[5];
  if (!buildAll(bottomRight, topLeft, workers, unused)) std::exit(2);
  // The reports go to a temporary file: a few lines a position.
  std::FILE* sink = std::tmpfile();
  if (sink == nullptr) {
    std::fprintf(stderr, "cannot open a temporary file\n");
    std::exit(2);
  }

  std::printf("Search on %u worker%s\n", workers.size(), workers.size() == 1 ? "" : "s");
  std::printf("%3s  %-48s %6s %14s %10s %14s\n", "#", "position", "moves", "nodes", "ms",
              "nodes/s");
  std::uint64_t signature = 0;
  double totalMs = 0;
  std::uint64_t longNodes = 0;
  double longMs = 0;
  for (std::size_t i = 0; i < positions.size(); ++i) {
    Board position;
    if (!readPosition(positions[i], position)) std::exit(2);

    SearchContext context;
    const Clock::time_point start = Clock::now();
    const SolveSummary summary = solve(context, topLeft, bottomRight, position, workers, sink);
    // A floor of one microsecond keeps the rates finite for trivial positions.
    const double ms = std::max(millisecondsSince(start), 0.001);

    std::string shown = positions[i];
    shown.erase(shown.find_last_not_of(" \t\r\n") + 1);
    std::printf("%3zu  %-48s %6u %14llu %10.1f %14.0f\n", i + 1, shown.c_str(), summary.length,
                static_cast<unsigned long long>(summary.nodeTotal), ms,
                static_cast<double>(summary.nodeTotal) / ms * 1000.0);
    std::fflush(stdout);
    signature += summary.nodeTotal;
    totalMs += ms;
    if (summary.length >= kLongSolution) {
      longNodes += summary.nodeTotal;
      longMs += ms;
    }
    for (unsigned planned : planWorkers) {
      SplitTrace trace{planned, {}};
      SearchContext again;
      if (!readPosition(positions[i], position)) std::exit(2);
      const SolveSummary replanned =
          solve(again, topLeft, bottomRight, position, workers, sink, &trace);
      printPlan(trace, replanned.solved);
      std::fflush(stdout);
    }
  }
  std::fclose(sink);
  std::printf("Search: %.3f s, %.0f nodes per second\n", totalMs / 1000.0,
              static_cast<double>(signature) / totalMs * 1000.0);
  if (longMs > 0) {
    std::printf("Positions of %u+ moves: %.0f nodes per second\n", kLongSolution,
                static_cast<double>(longNodes) / longMs * 1000.0);
  }
  std::printf("Signature: %llu\n", static_cast<unsigned long long>(signature));
}

// Appends the comma-separated worker counts of `list`, each from 1 to 4096; false on any
// other text.
bool parseCounts(const char* list, std::vector<unsigned>& counts) {
  for (const char* at = list;; ++at) {
    char* end = nullptr;
    const long count = std::strtol(at, &end, 10);
    if (end == at || count < 1 || count > 4096) return false;
    counts.push_back(static_cast<unsigned>(count));
    at = end;
    if (*at == '\0') return true;
    if (*at != ',') return false;
  }
}

int usage(const char* program) {
  std::fprintf(stderr,
               "usage: %s [--builds N] [--positions FILE] [--skip-builds] [--workers N] "
               "[--plan-workers P,P,...]\n",
               program);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int repetitions = 11;
  bool skipBuilds = false;
  const char* positionsPath = nullptr;
  unsigned workerCount = platform::availableCpus();
  std::vector<unsigned> planWorkers;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--builds") == 0 && i + 1 < argc) {
      repetitions = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--positions") == 0 && i + 1 < argc) {
      positionsPath = argv[++i];
    } else if (std::strcmp(argv[i], "--skip-builds") == 0) {
      skipBuilds = true;
    } else if (std::strcmp(argv[i], "--workers") == 0 && i + 1 < argc) {
      workerCount = static_cast<unsigned>(std::max(1, std::atoi(argv[++i])));
    } else if (std::strcmp(argv[i], "--plan-workers") == 0 && i + 1 < argc) {
      if (!parseCounts(argv[++i], planWorkers)) return usage(argv[0]);
    } else {
      return usage(argv[0]);
    }
  }
  if (!skipBuilds) benchBuilds(repetitions, workerCount);
  std::vector<std::string> positions;
  if (positionsPath != nullptr) {
    positions = readPositions(positionsPath);
  } else {
    positions.assign(std::begin(kBenchPositions), std::end(kBenchPositions));
  }
  benchSearch(positions, workerCount, planWorkers);
  return 0;
}
