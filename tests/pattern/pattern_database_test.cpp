#include "pattern/pattern_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <utility>

#include "pattern/reference_pattern.h"

namespace {

// Untracked tiles get row and column values no placement can produce.
Board sentinelBoard() {
  Board board;
  board.tiles.fill(7);
  for (int tile = 0; tile < kCells; ++tile) {
    board.row[tile] = 40 + tile;
    board.column[tile] = 70 + tile;
  }
  return board;
}

// Empty when `board` holds exactly the placement `cells` of the listed tiles: those cells hold
// their tiles, every other cell kDontCare, and untracked tiles keep their sentinel values.
std::string placementMismatch(const Board& board, const PatternDatabase& database,
                              const reference::Cells& cells) {
  std::array<int, kCells> expected;
  expected.fill(kDontCare);
  for (int i = 0; i < database.tileCount; ++i) {
    const int tile = database.tileList[i];
    expected[cells[i]] = tile;
    if (board.row[tile] != cells[i] / kSide || board.column[tile] != cells[i] % kSide) {
      return "tile " + std::to_string(tile) + " not at cell " + std::to_string(cells[i]);
    }
  }
  for (int cell = 0; cell < kCells; ++cell) {
    if (board.tiles[cell] != expected[cell]) {
      return "cell " + std::to_string(cell) + " holds " + std::to_string(board.tiles[cell]);
    }
  }
  for (int tile = 1; tile < kCells; ++tile) {
    if (std::count(database.tileList, database.tileList + database.tileCount, tile) != 0) continue;
    if (board.row[tile] != 40 + tile || board.column[tile] != 70 + tile) {
      return "untracked tile " + std::to_string(tile) + " changed";
    }
  }
  return "";
}

}  // namespace

TEST(PatternDatabase, ConstructionCountsPlacementsAndLeavesTablesEmpty) {
  const PatternDatabase topLeft(5, kTopLeftPattern);
  EXPECT_EQ(topLeft.tileCount, 5);
  EXPECT_EQ(topLeft.tileList, kTopLeftPattern);
  EXPECT_EQ(topLeft.stateCount, 524'160u);
  EXPECT_EQ(topLeft.moveTable, nullptr);
  EXPECT_EQ(topLeft.countTable, nullptr);
  EXPECT_EQ(topLeft.distanceTable, nullptr);

  const PatternDatabase bottomRight(4, kBottomRightPattern);
  EXPECT_EQ(bottomRight.stateCount, 43'680u);
  EXPECT_EQ(bottomRight.moveTable, nullptr);

  // The count follows the list length, not the two lists the solver uses.
  const unsigned char justTheBlank[] = {kBlank};
  const unsigned char twoTiles[] = {3, 9, kBlank};
  EXPECT_EQ(PatternDatabase(1, justTheBlank).stateCount, 16u);
  EXPECT_EQ(PatternDatabase(3, twoTiles).stateCount, 3'360u);
}

TEST(RankPlacement, GoalIndicesReadOnlyTheListedTiles) {
  const PatternDatabase topLeft(5, kTopLeftPattern);
  const PatternDatabase bottomRight(4, kBottomRightPattern);
  Board goal;
  setGoal(goal);
  EXPECT_EQ(rankPlacement(goal, topLeft), 347u);
  EXPECT_EQ(rankPlacement(goal, bottomRight), 29'288u);

  // Wrecking everything the lists do not name changes nothing.
  Board wrecked = goal;
  wrecked.tiles.fill(kDontCare);
  for (int tile : {3, 4, 7, 8, 9, 10, 13, 14}) {
    wrecked.row[tile] = -1000;
    wrecked.column[tile] = 1000;
  }
  EXPECT_EQ(rankPlacement(wrecked, topLeft), 347u);
  EXPECT_EQ(rankPlacement(wrecked, bottomRight), 29'288u);
}

TEST(UnrankPlacement, FirstAndLastTopLeftIndex) {
  const PatternDatabase topLeft(5, kTopLeftPattern);
  Board board = sentinelBoard();
  unrankPlacement(board, 0, topLeft);
  EXPECT_EQ(placementMismatch(board, topLeft, {0, 1, 2, 3, 4}), "");
  board = sentinelBoard();
  unrankPlacement(board, 524'159, topLeft);
  EXPECT_EQ(placementMismatch(board, topLeft, {15, 14, 13, 12, 11}), "");

  const PatternDatabase bottomRight(4, kBottomRightPattern);
  board = sentinelBoard();
  unrankPlacement(board, 43'679, bottomRight);
  EXPECT_EQ(placementMismatch(board, bottomRight, {15, 14, 13, 12}), "");
}

// The index is the position of the placement in the lexicographic list of cell tuples (tile
// list order), which fixes the layout every table depends on.
TEST(PlacementIndex, EveryIndexIsTheLexicographicPlacementAndRoundTrips) {
  const PatternDatabase topLeft(5, kTopLeftPattern);
  const PatternDatabase bottomRight(4, kBottomRightPattern);
  for (const auto& [database, model] : {std::pair{&topLeft, &reference::topLeftModel()},
                                        std::pair{&bottomRight, &reference::bottomRightModel()}}) {
    ASSERT_EQ(model->stateCount, database->stateCount);
    unsigned failures = 0;
    for (unsigned index = 0; index < database->stateCount; ++index) {
      Board board = sentinelBoard();
      unrankPlacement(board, index, *database);
      const reference::Cells& cells = model->placements[index];
      const std::string mismatch = placementMismatch(board, *database, cells);
      const unsigned rank = rankPlacement(board, *database);
      const unsigned referenceRank = reference::rankCells(cells, database->tileCount);
      if (!mismatch.empty() || rank != index || referenceRank != index) {
        if (++failures <= 5) {
          ADD_FAILURE() << "index " << index << ": " << mismatch << " rank " << rank
                        << " reference rank " << referenceRank;
        }
      }
    }
    EXPECT_EQ(failures, 0u) << database->tileCount << " entries";
  }
}

TEST(RankPlacement, FullPositionsRankByTheCellsOfTheListedTiles) {
  const PatternDatabase topLeft(5, kTopLeftPattern);
  const PatternDatabase bottomRight(4, kBottomRightPattern);
  std::mt19937 rng(4242);
  for (int trial = 0; trial < 2000; ++trial) {
    std::array<int, kCells> order;
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), rng);
    Board board;
    for (int cell = 0; cell < kCells; ++cell) {
      board.tiles[cell] = static_cast<std::uint8_t>(order[cell]);
      board.row[order[cell]] = cell / kSide;
      board.column[order[cell]] = cell % kSide;
    }
    const auto cellOfTile = [&](int tile) { return cellOf(board, tile); };
    EXPECT_EQ(rankPlacement(board, topLeft),
              reference::rankCells(
                  {cellOfTile(1), cellOfTile(2), cellOfTile(5), cellOfTile(6), cellOfTile(0)}, 5));
    EXPECT_EQ(
        rankPlacement(board, bottomRight),
        reference::rankCells({cellOfTile(11), cellOfTile(12), cellOfTile(15), cellOfTile(0)}, 4));
  }
}
