#include "search/solver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "search/prepared_databases.h"
#include "search/reference_search.h"
#include "search/solve_report.h"

namespace {

Board goalBoard() {
  Board board;
  setGoal(board);
  return board;
}

std::string printMoves(Board& board, const std::vector<int>& directions) {
  return captureOutput([&](std::FILE* out) {
    for (int direction : directions)
      printMove(board, direction, out);
  });
}

void expectAtGoal(const Board& board) {
  const Board goal = goalBoard();
  EXPECT_EQ(board.tiles, goal.tiles);
  EXPECT_EQ(board.row, goal.row);
  EXPECT_EQ(board.column, goal.column);
}

// Number of ways the blank can make `length` moves from `cell` without stepping straight back.
unsigned walks(int cell, int length, int forbidden = -1) {
  if (length == 0) return 1;
  unsigned total = 0;
  for (int direction = 0; direction < 4; ++direction) {
    const int next = reference::sourceCell(cell, direction);
    if (direction != forbidden && next >= 0) {
      total += walks(next, length - 1, reference::opposite(direction));
    }
  }
  return total;
}

}  // namespace

TEST(PrintMove, BreaksTheLineAfterEveryFifteenthMove) {
  // Around the goal's blank and back: 12D 11R 7D 6R 2D 1R, undone in reverse, then 12D 11R 7D 6R.
  const std::vector<int> directions = {kDown, kRight, kDown, kRight, kDown, kRight, kLeft, kUp,
                                       kLeft, kUp,    kLeft, kUp,    kDown, kRight, kDown, kRight};
  Board board = goalBoard();
  const std::vector<int> fifteen(directions.begin(), directions.begin() + 15);
  EXPECT_EQ(printMoves(board, fifteen),
            "12D 11R  7D  6R  2D  1R  1L  2U  6L  7U 11L 12U 12D 11R  7D \n");
  EXPECT_EQ(board.movesOnLine, 0);
  EXPECT_EQ(board.lastTile, 7);
  EXPECT_EQ(cellOf(board, kBlank), 6);
  EXPECT_EQ(cellOf(board, 7), 10);

  board = goalBoard();
  EXPECT_EQ(printMoves(board, directions),
            "12D 11R  7D  6R  2D  1R  1L  2U  6L  7U 11L 12U 12D 11R  7D \n 6R ");
  EXPECT_EQ(board.movesOnLine, 1);
}

TEST(PrintMove, CountsOnFromTheMovesAlreadyOnTheLine) {
  Board board = goalBoard();
  board.movesOnLine = 14;
  EXPECT_EQ(printMoves(board, {kRight}), "15R \n");
  EXPECT_EQ(board.movesOnLine, 0);
  EXPECT_EQ(printMoves(board, {kLeft}), "15L ");
  EXPECT_EQ(board.movesOnLine, 1);
  expectAtGoal(board);
}

TEST(Solve, GoalNeedsNoMoves) {
  ASSERT_TRUE(preparedDatabases().built);
  const SolveRun run = runSolve(goalBoard());
  const Report report = parseReport(run.text);
  ASSERT_EQ(report.error, "") << run.text;
  EXPECT_EQ(run.text.substr(0, run.text.find('\n') + 1),
            "Initial estimate: 0 + 0 + 0 + 0 = 0 moves\n");
  EXPECT_EQ(report.bounds, std::vector<unsigned>{0});
  EXPECT_EQ(report.nodes, std::vector<std::uint64_t>{1});
  EXPECT_EQ(report.total, 1u);
  EXPECT_TRUE(report.moves.empty());
  EXPECT_FALSE(report.noSolution);
  EXPECT_TRUE(run.summary.solved);
  EXPECT_EQ(run.summary.length, 0u);
  EXPECT_EQ(run.summary.nodeTotal, 1u);
  expectAtGoal(run.after);
  EXPECT_EQ(run.after.movesOnLine, 0);
}

TEST(Solve, TileFifteenSwappedWithTheBlank) {
  ASSERT_TRUE(preparedDatabases().built);
  const SolveRun run = runSolve(reference::toBoard(
      reference::positionFromRows({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0, 15})));
  const Report report = parseReport(run.text);
  ASSERT_EQ(report.error, "") << run.text;
  EXPECT_EQ(run.text.substr(0, run.text.find('\n') + 1),
            "Initial estimate: 0 + 0 + 0 + 1 = 1 moves\n");
  EXPECT_EQ(report.bounds, std::vector<unsigned>{1});
  EXPECT_EQ(report.nodes, std::vector<std::uint64_t>{3});
  EXPECT_EQ(report.total, 3u);
  EXPECT_EQ(report.moves, (std::vector<Move>{{15, 'L'}}));
  EXPECT_EQ(run.text.substr(run.text.size() - 5), "\n15L ");
  EXPECT_TRUE(run.summary.solved);
  EXPECT_EQ(run.summary.length, 1u);
  EXPECT_EQ(run.summary.nodeTotal, 3u);
  expectAtGoal(run.after);
}

// Each example is also solved by the plain re-implementation over the same distance tables,
// which must agree on every estimate term, every bound's node count and every move.
TEST(Solve, WorkedExamples) {
  const BuiltDatabases& built = preparedDatabases();
  ASSERT_TRUE(built.built);
  reference::DatabaseSearch plain(built.topLeft.distanceTable.get(),
                                  built.bottomRight.distanceTable.get());
  for (const WorkedExample& example : workedExamples()) {
    SCOPED_TRACE(example.length);
    const reference::Position start = reference::positionFromRows(example.tiles);
    const SolveRun run = runSolve(reference::toBoard(start));
    const Report report = parseReport(run.text);
    ASSERT_EQ(report.error, "") << run.text;

    const unsigned estimate =
        example.terms[0] + example.terms[1] + example.terms[2] + example.terms[3];
    EXPECT_EQ(std::vector<unsigned>(report.terms, report.terms + 4),
              std::vector<unsigned>(example.terms.begin(), example.terms.end()));
    EXPECT_EQ(report.estimate, estimate);
    std::vector<unsigned> bounds;
    for (unsigned bound = estimate; bound <= example.length; bound += 2)
      bounds.push_back(bound);
    EXPECT_EQ(report.bounds, bounds);
    EXPECT_EQ(report.nodes, example.nodes);
    std::uint64_t total = 0;
    for (std::uint64_t nodes : example.nodes)
      total += nodes;
    EXPECT_EQ(report.total, total);

    EXPECT_TRUE(run.summary.solved);
    EXPECT_EQ(run.summary.length, example.length);
    EXPECT_EQ(run.summary.nodeTotal, total);
    EXPECT_EQ(run.nodeCountAfter, 0u);
    ASSERT_EQ(report.moves.size(), example.length);
    EXPECT_TRUE(
        std::equal(example.firstMoves.begin(), example.firstMoves.end(), report.moves.begin()));
    EXPECT_TRUE(
        std::equal(example.lastMoves.rbegin(), example.lastMoves.rend(), report.moves.rbegin()));
    reference::Position replayed = start;
    EXPECT_EQ(replay(replayed, report.moves), "");
    EXPECT_TRUE(reference::isGoal(replayed));
    expectAtGoal(run.after);
    EXPECT_EQ(run.after.movesOnLine, static_cast<int>(example.length % kMovesPerLine));

    const reference::DatabaseRun expected = plain.run(start);
    EXPECT_EQ(expected.terms, example.terms);
    EXPECT_EQ(expected.nodesPerBound, example.nodes);
    EXPECT_EQ(movesOf(start, expected.moves), report.moves);
  }
}

// With every distance a constant 97 no node can reach the goal; the bound stops after 99.
TEST(Solve, GivesUpAfterTheLargestBound) {
  // Plain move tables, prepared below over the fake distances.
  const BuiltDatabases& built = builtDatabases();
  ASSERT_TRUE(built.built);
  PatternDatabase topLeft(5, kTopLeftPattern);
  PatternDatabase bottomRight(4, kBottomRightPattern);
  for (auto [fake, real, distance] : {std::tuple{&topLeft, &built.topLeft, 24},
                                      std::tuple{&bottomRight, &built.bottomRight, 25}}) {
    fake->moveTable = allocateTable<std::int32_t>(std::size_t{fake->stateCount} * 4);
    fake->distanceTable = allocateTable<std::uint8_t>(fake->stateCount);
    ASSERT_TRUE(fake->moveTable && fake->distanceTable);
    std::copy_n(real->moveTable.get(), std::size_t{fake->stateCount} * 4, fake->moveTable.get());
    std::fill_n(fake->distanceTable.get(), fake->stateCount, distance);
    prepareForSearch(*fake);
  }

  const reference::Position start =
      reference::positionFromRows({5, 3, 10, 4, 2, 0, 6, 8, 9, 1, 7, 11, 13, 14, 15, 12});
  const Board board = reference::toBoard(start);
  const SolveRun run = runSolve(board, topLeft, bottomRight);
  const Report report = parseReport(run.text);
  ASSERT_EQ(report.error, "") << run.text;
  EXPECT_EQ(run.text.substr(0, run.text.find('\n') + 1),
            "Initial estimate: 24 + 24 + 24 + 25 = 97 moves\n");
  EXPECT_EQ(report.bounds, (std::vector<unsigned>{97, 99}));
  // Bound 97 expands only the root; bound 99 expands two levels below it.
  const std::uint64_t bound97 = 1 + walks(start.blank, 1);
  const std::uint64_t bound99 =
      1 + walks(start.blank, 1) + walks(start.blank, 2) + walks(start.blank, 3);
  EXPECT_EQ(report.nodes, (std::vector<std::uint64_t>{bound97, bound99}));
  EXPECT_EQ(report.total, bound97 + bound99);
  EXPECT_TRUE(report.noSolution);
  EXPECT_TRUE(report.moves.empty());
  EXPECT_FALSE(run.summary.solved);
  EXPECT_EQ(run.summary.nodeTotal, bound97 + bound99);
  EXPECT_EQ(run.after.tiles, board.tiles);
  EXPECT_EQ(run.after.row, board.row);
  EXPECT_EQ(run.after.column, board.column);
}

// Bounds 50 and 52 of this position are large enough to be split. On several workers the
// report, timing aside, must be the one worker's to the byte.
TEST(Solve, SplitBoundsReportWhatOneWorkerReports) {
  ASSERT_TRUE(preparedDatabases().built);
  const Board start = reference::toBoard(
      reference::positionFromRows({9, 4, 11, 8, 13, 7, 6, 15, 10, 12, 3, 5, 14, 0, 2, 1}));
  const SolveRun alone = runSolve(start);
  const SolveRun split = runSolve(start, 3);
  ASSERT_EQ(parseReport(alone.text).error, "") << alone.text;
  EXPECT_EQ(alone.summary.length, 52u);
  EXPECT_EQ(alone.summary.nodeTotal, 3'415'190u);
  EXPECT_EQ(alone.summary.splitBounds, 0u);
  EXPECT_GE(split.summary.splitBounds, 1u);
  const std::regex timing("[0-9]+\\.[0-9]{6} (seconds|nodes per second)\n");
  EXPECT_EQ(std::regex_replace(split.text, timing, ""), std::regex_replace(alone.text, timing, ""));
  expectAtGoal(split.after);
}
