#include "search/search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "board/symmetry.h"
#include "search/prepared_databases.h"
#include "search/reference_search.h"

namespace {

struct Indices {
  unsigned topLeft, topRight, bottomLeft, bottomRight;
  bool operator==(const Indices&) const = default;
};

// The four indices the solver starts from, through the library's own transforms.
Indices indicesOf(Board board) {
  const BuiltDatabases& built = builtDatabases();
  Indices indices{};
  indices.topLeft = rankPlacement(board, built.topLeft);
  indices.bottomRight = rankPlacement(board, built.bottomRight);
  Board mirrored = board;
  mirrorLeftRight(mirrored);
  indices.topRight = rankPlacement(mirrored, built.topLeft);
  mirrored = board;
  mirrorUpDown(mirrored);
  indices.bottomLeft = rankPlacement(mirrored, built.topLeft);
  return indices;
}

bool searchFrom(SearchContext& context, const Board& board, unsigned movesLeft) {
  const Indices at = indicesOf(board);
  return search(context, movesLeft, kNoDirection, at.topLeft, at.topRight, at.bottomLeft,
                at.bottomRight);
}

Board goalBoard() {
  Board board;
  setGoal(board);
  return board;
}

}  // namespace

TEST(Search, GoalIsFoundAtOnce) {
  const PreparedDatabases& built = preparedDatabases();
  ASSERT_TRUE(built.built);
  const Indices at = indicesOf(goalBoard());
  EXPECT_EQ(at, (Indices{347, 344, 337, 29'288}));
  for (unsigned index : {at.topLeft, at.topRight, at.bottomLeft}) {
    EXPECT_EQ(built.topLeft.distanceTable[index], 0);
  }
  EXPECT_EQ(built.bottomRight.distanceTable[at.bottomRight], 0);

  SearchContext context = contextOf(built);
  EXPECT_TRUE(searchFrom(context, goalBoard(), 0));
  EXPECT_EQ(context.nodeCount, 1u);
}

TEST(Search, OneMoveFromTheGoal) {
  ASSERT_TRUE(preparedDatabases().built);
  // Tile 15 and the blank exchanged: U is off the edge, D is pruned one level down, L solves.
  Board board = goalBoard();
  bool movedTracked = false;
  ASSERT_TRUE(slide(board, kRight, movedTracked));
  SearchContext context = contextOf(preparedDatabases());
  context.path[0] = kUp;
  EXPECT_TRUE(searchFrom(context, board, 1));
  EXPECT_EQ(context.nodeCount, 3u);
  EXPECT_EQ(context.path[0], kLeft);
}

TEST(Search, NeverStepsStraightBack) {
  ASSERT_TRUE(preparedDatabases().built);
  // Two moves could only leave the goal and return to it, which would undo the first move:
  // the root, then D and R, each with its two children pruned.
  SearchContext context = contextOf(preparedDatabases());
  EXPECT_FALSE(searchFrom(context, goalBoard(), 2));
  EXPECT_EQ(context.nodeCount, 7u);

  // Forbidding the only solving move at the root leaves D and R, both pruned.
  Board board = goalBoard();
  bool movedTracked = false;
  ASSERT_TRUE(slide(board, kRight, movedTracked));
  const Indices at = indicesOf(board);
  context.nodeCount = 0;
  EXPECT_FALSE(search(context, 1, kLeft, at.topLeft, at.topRight, at.bottomLeft, at.bottomRight));
  EXPECT_EQ(context.nodeCount, 3u);
}

// The search follows a move in all four views through its rows only; each must land on the
// index of the slid position seen the same way and carry that view's distance there.
TEST(Search, ChildIndicesAreThoseOfTheSlidPosition) {
  const PreparedDatabases& prepared = preparedDatabases();
  ASSERT_TRUE(prepared.built);
  const std::int32_t* topLeftRows = prepared.topLeft.moveTable.get();
  const std::int32_t* bottomRightRows = prepared.bottomRight.moveTable.get();
  const std::uint8_t* topLeftDistances = prepared.topLeft.distanceTable.get();
  const std::uint8_t* bottomRightDistances = prepared.bottomRight.distanceTable.get();
  std::mt19937 rng(1234);
  for (int trial = 0; trial < 500; ++trial) {
    // Any arrangement will do here, solvable or not.
    std::array<int, kCells> tiles;
    std::iota(tiles.begin(), tiles.end(), 0);
    std::shuffle(tiles.begin(), tiles.end(), rng);
    const Board board = reference::toBoard(reference::positionFromRows(tiles));
    const Indices at = indicesOf(board);
    for (int direction = 0; direction < kDirections; ++direction) {
      const std::int32_t next = topLeftRows[at.topLeft * 4 + direction];
      const std::int32_t topRight =
          topLeftRows[at.topRight * 4 + kMirrorLeftRightDirection[direction]];
      const std::int32_t bottomLeft =
          topLeftRows[at.bottomLeft * 4 + kMirrorUpDownDirection[direction]];
      const std::int32_t bottomRight = bottomRightRows[at.bottomRight * 4 + direction];
      Board slid = board;
      bool movedTracked = false;
      if (!slide(slid, direction, movedTracked)) {
        EXPECT_EQ(next, kNoMove);
        EXPECT_EQ(topRight, kNoMove);
        EXPECT_EQ(bottomLeft, kNoMove);
        EXPECT_EQ(bottomRight, kNoMove);
        continue;
      }
      ASSERT_NE(next, kNoMove);
      ASSERT_NE(topRight, kNoMove);
      ASSERT_NE(bottomLeft, kNoMove);
      ASSERT_NE(bottomRight, kNoMove);
      const Indices child{successorOf(next), successorOf(topRight), successorOf(bottomLeft),
                          successorOf(bottomRight)};
      EXPECT_EQ(child, indicesOf(slid)) << "trial " << trial << " direction " << direction;
      EXPECT_EQ(distanceOf(next), topLeftDistances[child.topLeft]);
      EXPECT_EQ(distanceOf(topRight), topLeftDistances[child.topRight]);
      EXPECT_EQ(distanceOf(bottomLeft), topLeftDistances[child.bottomLeft]);
      EXPECT_EQ(distanceOf(bottomRight), bottomRightDistances[child.bottomRight]);
    }
  }
}

// Every entry of both tables keeps its successor and gains the successor's distance; nothing
// else changes, impossible slides included, on any number of workers.
TEST(PrepareForSearch, EveryEntryCarriesItsSuccessorAndItsDistance) {
  const BuiltDatabases& plain = builtDatabases();
  ASSERT_TRUE(plain.built);
  for (unsigned workers : kComparedWorkerCounts) {
    SCOPED_TRACE(std::to_string(workers) + " workers");
    const PreparedDatabases& prepared = preparedDatabases(workers);
    ASSERT_TRUE(prepared.built);
    for (auto [before, after] : {std::pair{&plain.topLeft, &prepared.topLeft},
                                 std::pair{&plain.bottomRight, &prepared.bottomRight}}) {
      ASSERT_EQ(before->stateCount, after->stateCount);
      EXPECT_TRUE(after->searchLayout);
      const std::size_t entries = std::size_t{before->stateCount} * kDirections;
      std::size_t mismatches = 0;
      for (std::size_t i = 0; i < entries; ++i) {
        const std::int32_t next = before->moveTable[i];
        const std::int32_t entry = after->moveTable[i];
        const bool same = next == kNoMove
                              ? entry == kNoMove
                              : entry >= 0 && successorOf(entry) == static_cast<unsigned>(next) &&
                                    distanceOf(entry) == before->distanceTable[next] &&
                                    (entry & 0xf00) == 0;
        if (!same && ++mismatches <= 5) ADD_FAILURE() << "entry " << i << ": " << entry;
      }
      EXPECT_EQ(mismatches, 0u);
      EXPECT_TRUE(std::equal(before->distanceTable.get(),
                             before->distanceTable.get() + before->stateCount,
                             after->distanceTable.get()));
    }
  }
}

// A table in the search layout no longer holds indices; rewriting it again would read far past
// the distance table.
TEST(PrepareForSearch, ASecondCallChangesNothing) {
  const BuiltDatabases& plain = builtDatabases();
  ASSERT_TRUE(plain.built);
  PatternDatabase database(4, kBottomRightPattern);
  const std::size_t entries = std::size_t{database.stateCount} * kDirections;
  database.moveTable = allocateTable<std::int32_t>(entries);
  database.distanceTable = allocateTable<std::uint8_t>(database.stateCount);
  ASSERT_TRUE(database.moveTable && database.distanceTable);
  std::copy_n(plain.bottomRight.moveTable.get(), entries, database.moveTable.get());
  std::copy_n(plain.bottomRight.distanceTable.get(), database.stateCount,
              database.distanceTable.get());
  EXPECT_FALSE(database.searchLayout);
  prepareForSearch(database);
  EXPECT_TRUE(database.searchLayout);
  const std::vector<std::int32_t> once(database.moveTable.get(),
                                       database.moveTable.get() + entries);
  prepareForSearch(database);
  EXPECT_TRUE(std::equal(once.begin(), once.end(), database.moveTable.get()));
}
