// The library against the solver run's report (the interactive program's) and the worked
// examples, in both goal frames; its checks; one position or many, on one worker or several;
// stopping.
#include "zelvar/zelvar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "search/solve_report.h"

namespace {

using Clock = std::chrono::steady_clock;

// Built once: the builds are the slow part of every run.
const zelvar::Solver& solverOf(unsigned workers) {
  static zelvar::Solver one(zelvar::SolverOptions{zelvar::Heuristic::zelvar, 1, {}, {}, {}});
  static zelvar::Solver three(zelvar::SolverOptions{zelvar::Heuristic::zelvar, 3, {}, {}, {}});
  return workers == 1 ? one : three;
}

// The first lines of the benchmark's random positions: a few dozen of ordinary difficulty.
std::vector<zelvar::Numbers> randomPositions(std::size_t count) {
  std::ifstream in(ZELVAR_SOURCE_DIR "/bench/random-positions.txt");
  std::vector<zelvar::Numbers> positions;
  zelvar::Numbers numbers;
  while (positions.size() < count && in >> numbers[0]) {
    for (std::size_t cell = 1; cell < numbers.size(); ++cell)
      in >> numbers[cell];
    positions.push_back(numbers);
  }
  EXPECT_EQ(positions.size(), count);
  return positions;
}

// The blank-first position that the half-turn with tiles t -> 16 - t maps to `position`.
zelvar::Numbers blankFirstOf(const zelvar::Numbers& position) {
  zelvar::Numbers turned{};
  for (std::size_t cell = 0; cell < 16; ++cell)
    turned[15 - cell] = position[cell] == 0 ? 0 : 16 - position[cell];
  return turned;
}

std::vector<Move> movesOf(const zelvar::Solution& solution) {
  std::vector<Move> moves;
  for (const zelvar::Move& move : solution.moves)
    moves.push_back({static_cast<unsigned>(move.tile), move.direction});
  return moves;
}

void expectSame(const zelvar::Solution& got, const zelvar::Solution& expected) {
  EXPECT_EQ(got.status, expected.status);
  EXPECT_EQ(got.error, expected.error);
  EXPECT_EQ(got.position, expected.position);
  EXPECT_EQ(got.estimate, expected.estimate);
  EXPECT_EQ(got.estimateTerms, expected.estimateTerms);
  EXPECT_EQ(got.bounds, expected.bounds);
  EXPECT_EQ(got.nodes, expected.nodes);
  EXPECT_EQ(got.length, expected.length);
  EXPECT_EQ(got.moves, expected.moves);
}

TEST(Library, SolvesTheWorkedExamples) {
  for (const WorkedExample& example : workedExamples()) {
    SCOPED_TRACE(example.name);
    const zelvar::Solution solution = solverOf(3).solve(example.tiles);
    ASSERT_TRUE(solution.solved()) << solution.error;
    EXPECT_EQ(solution.error, "");
    EXPECT_EQ(solution.position, example.tiles);
    EXPECT_EQ(solution.estimateTerms,
              std::vector<unsigned>(example.terms.begin(), example.terms.end()));
    ASSERT_EQ(solution.bounds.size(), example.nodes.size());
    std::uint64_t total = 0;
    for (std::size_t k = 0; k < example.nodes.size(); ++k) {
      EXPECT_EQ(solution.bounds[k].bound, solution.estimate + 2 * k);
      EXPECT_EQ(solution.bounds[k].nodes, example.nodes[k]);
      total += example.nodes[k];
    }
    EXPECT_EQ(solution.nodes, total);
    EXPECT_EQ(solution.length, example.length);
    const std::vector<Move> moves = movesOf(solution);
    ASSERT_EQ(moves.size(), example.length);
    EXPECT_TRUE(std::equal(example.firstMoves.begin(), example.firstMoves.end(), moves.begin()));
    EXPECT_TRUE(std::equal(example.lastMoves.rbegin(), example.lastMoves.rend(), moves.rbegin()));
    EXPECT_GE(solution.seconds, 0.0);
  }
}

// The solver run's report is the interactive program's, bound by bound and move by move; the
// same position written for the other goal has the same counts and the mirrored moves, which
// lead to that goal.
TEST(Library, ReportsWhatTheProgramReportsInBothGoalFrames) {
  for (const zelvar::Numbers& numbers : randomPositions(24)) {
    const std::string text = zelvar::formatPosition(numbers);
    SCOPED_TRACE(text);
    const Report report =
        parseReport(runSolve(reference::toBoard(reference::positionFromRows(numbers))).text);
    ASSERT_EQ(report.error, "");
    const zelvar::Solution solution = solverOf(3).solve(text);
    ASSERT_TRUE(solution.solved()) << solution.error;
    EXPECT_EQ(solution.estimateTerms, std::vector<unsigned>(report.terms, report.terms + 4));
    EXPECT_EQ(solution.estimate, report.estimate);
    ASSERT_EQ(solution.bounds.size(), report.bounds.size());
    for (std::size_t k = 0; k < report.bounds.size(); ++k) {
      EXPECT_EQ(solution.bounds[k].bound, report.bounds[k]);
      EXPECT_EQ(solution.bounds[k].nodes, report.nodes[k]);
    }
    EXPECT_EQ(solution.nodes, report.total);
    EXPECT_EQ(movesOf(solution), report.moves);

    zelvar::SolveOptions blankFirst;
    blankFirst.goal = zelvar::Goal::blankFirst;
    const zelvar::Numbers turned = blankFirstOf(numbers);
    const zelvar::Solution other = solverOf(1).solve(turned, blankFirst);
    ASSERT_TRUE(other.solved()) << other.error;
    EXPECT_EQ(other.position, turned);
    EXPECT_EQ(other.bounds, solution.bounds);
    EXPECT_EQ(other.length, solution.length);
    reference::Position board = reference::positionFromRows(turned);
    EXPECT_EQ(replay(board, movesOf(other)), "");
    const zelvar::Numbers blankFirstGoal = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    EXPECT_EQ(board.tiles, blankFirstGoal);
  }
}

TEST(Library, RefusesAsTheProgramDoes) {
  struct Case {
    std::string text;
    zelvar::Status status;
    std::string error;
  };
  const std::string kNumbers = "Error: please enter only numbers.";
  const std::string kRange = "Error: tiles must be numbered from 0 to 15.";
  const std::string kSixteen = "Error: please enter only sixteen numbers.";
  const std::string kParity = "The puzzle can not be solved in this configuration.";
  const auto rejected = zelvar::Status::rejected;
  const std::vector<Case> cases = {
      {"", rejected, kNumbers},
      {"x", rejected, kNumbers},
      {"1 2 3", rejected, kNumbers},
      {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 0 x", rejected, kNumbers},
      {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 +", rejected, kNumbers},
      {"16 1 2 3", rejected, kRange},
      {"-1 1 2 3", rejected, kRange},
      {"1 99999999999999999999 x", rejected, kRange},
      {"1 5 5 x", rejected, "Error: the tile 5 is repeated."},
      {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 0 1", rejected, kSixteen},
      {"1 2 3 4 5 6 7 8 9 10 11 12 13 15 14 0", zelvar::Status::unsolvable, kParity},
      {"1 2 3 4 5 6 7 8 9 10 11 12 13 15 14 0 1", rejected, kSixteen},
      {"1,2,3,4 5,6,7,8\n9,10,11,12\r\n13,14,+15,-0,,", zelvar::Status::solved, ""},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.text);
    const zelvar::Solution solution = solverOf(1).solve(test.text);
    EXPECT_EQ(solution.status, test.status);
    EXPECT_EQ(solution.error, test.error);
  }
  // Numbers as integers, and messages naming the numbers as given whatever the goal.
  zelvar::SolveOptions blankFirst;
  blankFirst.goal = zelvar::Goal::blankFirst;
  const zelvar::Solution negative =
      solverOf(1).solve(zelvar::Numbers{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, -15});
  EXPECT_EQ(negative.error, kRange);
  EXPECT_EQ(solverOf(1).solve("0 1 2 3 4 5 6 7 8 9 10 4", blankFirst).error,
            "Error: the tile 4 is repeated.");
  const zelvar::Solution unsolvable =
      solverOf(1).solve("0 1 2 3 4 5 6 7 8 9 10 11 12 13 15 14", blankFirst);
  EXPECT_EQ(unsolvable.status, zelvar::Status::unsolvable);
  EXPECT_EQ(unsolvable.position[14], 15);
  EXPECT_EQ(solverOf(1).solve("0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15", blankFirst).length, 0u);
}

TEST(Library, CallsBackBoundByBoundAndStopsWhenAsked) {
  const WorkedExample& example = workedExamples().back();
  std::vector<unsigned> started;
  std::vector<zelvar::BoundCount> ended;
  unsigned estimate = 0;
  zelvar::SolveOptions options;
  options.onEstimate = [&](const zelvar::Solution& solution) { estimate = solution.estimate; };
  options.onBoundStart = [&](unsigned bound) {
    started.push_back(bound);
    return true;
  };
  options.onBoundEnd = [&](const zelvar::BoundCount& bound) {
    ended.push_back(bound);
    return ended.size() < 2;
  };
  const zelvar::Solution stopped = solverOf(3).solve(example.tiles, options);
  EXPECT_EQ(stopped.status, zelvar::Status::stopped);
  EXPECT_FALSE(stopped.error.empty());
  EXPECT_EQ(estimate, 38u);
  EXPECT_EQ(started, (std::vector<unsigned>{38, 40}));
  EXPECT_EQ(ended, stopped.bounds);
  ASSERT_EQ(ended.size(), 2u);
  EXPECT_EQ(ended[1].nodes, example.nodes[1]);

  options.onBoundEnd = nullptr;
  options.onBoundStart = [](unsigned bound) -> bool {
    if (bound == 42) throw std::runtime_error("from the callback");
    return true;
  };
  EXPECT_THROW(solverOf(3).solve(example.tiles, options), std::runtime_error);
}

// A stop question asked during a long bound ends it there, on one worker as on several. It
// says stop at its first question inside a bound large enough to be cut into units, whatever
// the machine's speed.
TEST(Library, StopsALongSolveWhenAsked) {
  // 67 moves, 9.5 billion nodes: minutes on one core.
  const std::string hard = "1 5 10 9 2 6 0 13 3 7 11 14 4 8 12 15";
  for (const unsigned workers : {1u, 3u}) {
    SCOPED_TRACE(workers);
    zelvar::SolveOptions options;
    bool inBound = false, large = false, askedInside = false;
    options.onBoundStart = [&](unsigned) { return inBound = true; };
    options.onBoundEnd = [&](const zelvar::BoundCount& bound) {
      inBound = false;
      // The next bound is predicted above 2^20 nodes, and so split.
      large = large || bound.nodes >= (1u << 18);
      return true;
    };
    options.stopRequested = [&] {
      askedInside = askedInside || (inBound && large);
      return askedInside;
    };
    const zelvar::Solution solution = solverOf(workers).solve(hard, options);
    EXPECT_EQ(solution.status, zelvar::Status::stopped);
    EXPECT_TRUE(askedInside) << "asked between bounds only";
    EXPECT_LT(solution.bounds.size(), (67 - solution.estimate) / 2 + 1);
  }
}

// A batch stops too: what it handed over before is what solve gives, and nothing after.
TEST(Library, StopsABatchWhenAskedAndWhenDoneSaysSo) {
  std::vector<zelvar::Position> positions;
  for (const zelvar::Numbers& numbers : randomPositions(4))
    positions.emplace_back(numbers);
  positions.emplace_back(std::string("1 5 10 9 2 6 0 13 3 7 11 14 4 8 12 15"));
  for (const zelvar::Numbers& numbers : randomPositions(8))
    positions.emplace_back(numbers);
  for (const unsigned workers : {1u, 3u}) {
    SCOPED_TRACE(workers);
    std::size_t drawn = 0;
    std::vector<zelvar::Solution> got;
    auto next = [&](zelvar::Position& position) {
      if (drawn == positions.size()) return false;
      position = positions[drawn++];
      return true;
    };
    auto keep = [&](zelvar::Solution&& solution) {
      got.push_back(std::move(solution));
      return true;
    };
    zelvar::SolveOptions options;
    const zelvar::Solver& solver = solverOf(workers);  // built before the clock starts
    const Clock::time_point start = Clock::now();
    options.stopRequested = [&] { return Clock::now() - start > std::chrono::milliseconds(300); };
    const std::size_t handed = solver.solveMany(next, keep, options);
    EXPECT_EQ(handed, got.size());
    EXPECT_LE(got.size(), 4u) << "the 67-move position cannot be done";
    for (std::size_t k = 0; k < got.size(); ++k)
      expectSame(got[k], solverOf(1).solve(std::get<zelvar::Numbers>(positions[k])));

    drawn = 0;
    got.clear();
    auto twoOnly = [&](zelvar::Solution&& solution) {
      got.push_back(std::move(solution));
      return got.size() < 2;
    };
    EXPECT_EQ(solver.solveMany(next, twoOnly), 2u);
    EXPECT_EQ(got.size(), 2u);
  }
}

// solveMany gives what solve gives, position by position and in order, rejected lines
// included, on one worker and on three.
TEST(Library, SolvesManyAsOneByOne) {
  std::vector<zelvar::Position> positions;
  for (const zelvar::Numbers& numbers : randomPositions(16)) {
    positions.emplace_back(numbers);
    if (positions.size() % 5 == 0) positions.emplace_back(std::string("1 2 x"));
  }
  for (const WorkedExample& example : workedExamples())
    positions.emplace_back(zelvar::formatPosition(example.tiles));
  positions.emplace_back(std::string("1 2 3 4 5 6 7 8 9 10 11 12 13 15 14 0"));
  std::vector<zelvar::Solution> expected;
  for (const zelvar::Position& position : positions) {
    expected.push_back(std::holds_alternative<std::string>(position)
                           ? solverOf(1).solve(std::get<std::string>(position))
                           : solverOf(1).solve(std::get<zelvar::Numbers>(position)));
  }
  for (const unsigned workers : {1u, 3u}) {
    SCOPED_TRACE(workers);
    std::size_t drawn = 0;
    std::vector<zelvar::Solution> got;
    const std::size_t delivered = solverOf(workers).solveMany(
        [&](zelvar::Position& position) {
          if (drawn == positions.size()) return false;
          position = positions[drawn++];
          return true;
        },
        [&](zelvar::Solution&& solution) {
          got.push_back(std::move(solution));
          return true;
        });
    EXPECT_EQ(delivered, positions.size());
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t k = 0; k < got.size(); ++k) {
      SCOPED_TRACE(k);
      expectSame(got[k], expected[k]);
    }
  }
}

// Calls at once share the tables; whichever gets the workers, the results are the same.
TEST(Library, SolvesFromSeveralThreadsAtOnce) {
  const std::vector<zelvar::Numbers> positions = randomPositions(6);
  std::vector<zelvar::Solution> expected;
  for (const zelvar::Numbers& numbers : positions)
    expected.push_back(solverOf(1).solve(numbers));
  std::vector<std::vector<zelvar::Solution>> got(3);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < got.size(); ++t) {
    threads.emplace_back([&, t] {
      for (const zelvar::Numbers& numbers : positions)
        got[t].push_back(solverOf(3).solve(numbers));
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (const std::vector<zelvar::Solution>& solutions : got) {
    ASSERT_EQ(solutions.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k)
      expectSame(solutions[k], expected[k]);
  }
}

}  // namespace

// The 7-8 heuristic through the library, against the default heuristic: the same solutions in
// both goal frames, one by one and many at once. Its tables take minutes to build, so this
// uses a file that is there (ZELVAR_TABLES's folder, else the cache folder) and skips without.
TEST(Library, AdditiveHeuristicSolvesAsTheDefaultOne) {
  const char* folder = std::getenv("ZELVAR_TABLES");
  zelvar::SolverOptions options{zelvar::Heuristic::additive78, 2, folder ? folder : "", {}, {}};
  // Any notice means the file is missing or damaged: the test then stops before a build.
  bool building = false;
  options.onNotice = [&](std::string_view) {
    building = true;
    throw std::runtime_error("no build in a unit test");
  };
  try {
    const zelvar::Solver additive(options);
    ASSERT_EQ(additive.error(), "");
    ASSERT_EQ(additive.heuristic(), zelvar::Heuristic::additive78);
    std::vector<zelvar::Numbers> positions = randomPositions(24);
    for (const WorkedExample& example : workedExamples())
      positions.push_back(example.tiles);
    for (const zelvar::Goal goal : {zelvar::Goal::blankLast, zelvar::Goal::blankFirst}) {
      zelvar::SolveOptions solveOptions;
      solveOptions.goal = goal;
      std::size_t drawn = 0;
      std::vector<zelvar::Solution> many;
      additive.solveMany(
          [&](zelvar::Position& position) {
            if (drawn == positions.size()) return false;
            position =
                goal == zelvar::Goal::blankLast ? positions[drawn] : blankFirstOf(positions[drawn]);
            ++drawn;
            return true;
          },
          [&](zelvar::Solution&& solution) {
            many.push_back(std::move(solution));
            return true;
          },
          solveOptions);
      ASSERT_EQ(many.size(), positions.size());
      for (std::size_t k = 0; k < positions.size(); ++k) {
        SCOPED_TRACE(k);
        const zelvar::Numbers given =
            goal == zelvar::Goal::blankLast ? positions[k] : blankFirstOf(positions[k]);
        const zelvar::Solution expected = solverOf(1).solve(given, solveOptions);
        const zelvar::Solution one = additive.solve(given, solveOptions);
        ASSERT_TRUE(one.solved()) << one.error;
        EXPECT_EQ(one.length, expected.length);
        EXPECT_EQ(one.moves, expected.moves);
        EXPECT_LE(one.estimate, one.length);
        ASSERT_EQ(one.estimateTerms.size(), 4u);
        EXPECT_EQ(one.estimate, std::max(one.estimateTerms[0] + one.estimateTerms[1],
                                         one.estimateTerms[2] + one.estimateTerms[3]));
        EXPECT_EQ(many[k].moves, one.moves);
        EXPECT_EQ(many[k].bounds, one.bounds);
        // About 200 times fewer nodes; never more than the default heuristic's here.
        EXPECT_LE(one.nodes, expected.nodes);
      }
    }
  } catch (const std::runtime_error&) {
    ASSERT_TRUE(building);
    GTEST_SKIP() << "no 7-8 table file at hand (zelvar-batch --build-tables builds one; "
                    "ZELVAR_TABLES names its folder)";
  }
}
