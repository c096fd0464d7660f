#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "search/prepared_databases.h"
#include "search/reference_search.h"
#include "search/solve_report.h"

// Seeded scrambles, solved by the program and checked from outside: the printed moves must lead
// from the input to the goal, be as short as a plain Manhattan-distance IDA* finds, and be the
// first shortest sequence in the order U, D, L, R.
TEST(Optimality, ScramblesAreSolvedByTheFirstShortestSequence) {
  const BuiltDatabases& built = preparedDatabases();
  ASSERT_TRUE(built.built);
  reference::DatabaseSearch plain(built.topLeft.distanceTable.get(),
                                  built.bottomRight.distanceTable.get());
  std::mt19937 rng(20'240'611);
  for (int trial = 0; trial < 40; ++trial) {
    const int scrambleLength = 20 + static_cast<int>(rng() % 21);
    const reference::Position start = reference::scramble(rng, scrambleLength);
    SCOPED_TRACE("trial " + std::to_string(trial));

    const SolveRun run = runSolve(reference::toBoard(start));
    const Report report = parseReport(run.text);
    ASSERT_EQ(report.error, "") << run.text;
    reference::Position replayed = start;
    EXPECT_EQ(replay(replayed, report.moves), "");
    EXPECT_TRUE(reference::isGoal(replayed));

    const std::vector<int> optimal = reference::ManhattanSolver().solve(start);
    EXPECT_EQ(report.moves.size(), optimal.size());
    EXPECT_EQ(report.moves, movesOf(start, optimal));
    EXPECT_TRUE(run.summary.solved);
    EXPECT_EQ(run.summary.length, report.moves.size());

    // The printed estimate and node counts are those of the plain search over the same tables.
    const reference::DatabaseRun expected = plain.run(start);
    EXPECT_EQ(std::vector<unsigned>(report.terms, report.terms + 4),
              std::vector<unsigned>(expected.terms.begin(), expected.terms.end()));
    EXPECT_EQ(report.estimate,
              expected.terms[0] + expected.terms[1] + expected.terms[2] + expected.terms[3]);
    EXPECT_EQ(report.nodes, expected.nodesPerBound);
    std::uint64_t total = 0;
    for (std::uint64_t nodes : report.nodes)
      total += nodes;
    EXPECT_EQ(report.total, total);
    EXPECT_EQ(run.summary.nodeTotal, total);
  }
}
