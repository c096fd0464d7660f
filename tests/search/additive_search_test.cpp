#include "search/additive_search.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "pattern/table_file.h"
#include "platform/cpu.h"
#include "search/reference_search.h"
#include "search/solve_report.h"
#include "support/worked_examples.h"

namespace {

// The full tables take minutes to build, so these tests use a file that is already there
// (ZELVAR_TABLES's folder, else the cache folder) and skip without a sound one.
const AdditiveTableSet* builtTables(std::string& why) {
  static AdditiveTableSet tables;
  static std::string absent;
  static bool tried = false;
  if (!tried) {
    tried = true;
    const char* folder = std::getenv("ZELVAR_TABLES");
    AdditiveTableOptions options;
    options.directory = folder != nullptr ? folder : "";
    const std::string path = additiveTablesPath(options.directory);
    WorkerPool pool(platform::availableCpus());
    platform::FileView view;
    std::string reason;
    if (path.empty() || !std::filesystem::exists(path) || !view.open(path, reason) ||
        !checkAdditiveTableFile(view.data(), view.size(), pool).empty()) {
      absent = "no sound 7-8 table file at '" + path +
               "' (zelvar_additive_bench builds one; ZELVAR_TABLES names its folder)";
    } else {
      view.close();
      const std::string error = loadAdditiveTables(tables, options, pool);
      if (!error.empty()) absent = error;
    }
  }
  why = absent;
  return tables.loaded() ? &tables : nullptr;
}

// Hears every bound, to check the hooks against the solution.
struct Recorder : AdditiveObserver {
  std::vector<unsigned> bounds;
  std::uint64_t nodes = 0;
  bool boundEnds(unsigned bound, std::uint64_t count) override {
    bounds.push_back(bound);
    nodes += count;
    return true;
  }
};

}  // namespace

// The default heuristic is the independent reference: the lengths must be equal, and so must
// the moves, as both find the first shortest sequence in the order U, D, L, R.
TEST(AdditiveSearch, SameSolutionsAsTheDefaultHeuristic) {
  std::string why;
  const AdditiveTableSet* tables = builtTables(why);
  if (tables == nullptr) GTEST_SKIP() << why;
  const AdditiveTables view = {tables->eight(), tables->seven()};

  std::vector<reference::Position> starts = {reference::goalPosition()};
  for (const WorkedExample& example : workedExamples())
    starts.push_back(reference::positionFromRows(example.tiles));
  std::mt19937 rng(20'261'209);
  for (int trial = 0; trial < 30; ++trial)
    starts.push_back(reference::scramble(rng, 30 + static_cast<int>(rng() % 60)));

  for (std::size_t i = 0; i < starts.size(); ++i) {
    SCOPED_TRACE("position " + std::to_string(i));
    const Report expected = parseReport(runSolve(reference::toBoard(starts[i])).text);
    ASSERT_EQ(expected.error, "");
    Recorder recorder;
    const AdditiveSolution solution = solveAdditive(view, reference::toBoard(starts[i]), &recorder);
    ASSERT_EQ(solution.outcome, AdditiveSolution::Outcome::solved);
    EXPECT_EQ(solution.length, expected.moves.size());
    EXPECT_LE(solution.estimate.value(), solution.length);
    std::vector<int> directions;
    for (unsigned k = solution.length; k-- > 0;)
      directions.push_back(solution.path[k]);
    EXPECT_EQ(movesOf(starts[i], directions), expected.moves);
    // Bounds from the estimate up in steps of 2, their counts adding up to the total.
    ASSERT_FALSE(recorder.bounds.empty());
    EXPECT_EQ(recorder.bounds.front(), solution.estimate.value());
    EXPECT_EQ(recorder.bounds.back(), solution.length);
    EXPECT_EQ(recorder.bounds.size(), (solution.length - solution.estimate.value()) / 2 + 1);
    EXPECT_EQ(recorder.nodes, solution.nodes);
    // Counted as the default search counts: the goal is one node.
    if (i == 0) {
      EXPECT_EQ(solution.nodes, 1u);
    }
  }
}

TEST(AdditiveSearch, StopsWhenAsked) {
  std::string why;
  const AdditiveTableSet* tables = builtTables(why);
  if (tables == nullptr) GTEST_SKIP() << why;
  struct Impatient : AdditiveObserver {
    bool stopNow() override { return true; }
  } impatient;
  // One of the benchmark's positions of 61 to 64 moves: far more nodes than one poll.
  const reference::Position start =
      reference::positionFromRows({15, 10, 2, 13, 5, 7, 0, 9, 6, 3, 14, 4, 8, 12, 11, 1});
  const AdditiveSolution solution =
      solveAdditive({tables->eight(), tables->seven()}, reference::toBoard(start), &impatient);
  EXPECT_EQ(solution.outcome, AdditiveSolution::Outcome::stopped);
}
