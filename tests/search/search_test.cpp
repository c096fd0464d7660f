#include "search/search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "board/symmetry.h"
#include "pattern/built_databases.h"
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

SearchContext contextOf(const BuiltDatabases& built) {
  SearchContext context;
  context.topLeftMoves = built.topLeft.moveTable.get();
  context.bottomRightMoves = built.bottomRight.moveTable.get();
  context.topLeftDistances = built.topLeft.distanceTable.get();
  context.bottomRightDistances = built.bottomRight.distanceTable.get();
  return context;
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
  const BuiltDatabases& built = builtDatabases();
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
  ASSERT_TRUE(builtDatabases().built);
  // Tile 15 and the blank exchanged: U is off the edge, D is pruned one level down, L solves.
  Board board = goalBoard();
  bool movedTracked = false;
  ASSERT_TRUE(slide(board, kRight, movedTracked));
  SearchContext context = contextOf(builtDatabases());
  context.path[0] = kUp;
  EXPECT_TRUE(searchFrom(context, board, 1));
  EXPECT_EQ(context.nodeCount, 3u);
  EXPECT_EQ(context.path[0], kLeft);
}

TEST(Search, NeverStepsStraightBack) {
  ASSERT_TRUE(builtDatabases().built);
  // Two moves could only leave the goal and return to it, which would undo the first move:
  // the root, then D and R, each with its two children pruned.
  SearchContext context = contextOf(builtDatabases());
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

// The search follows a move in all four views through table lookups only; each must land on
// the index of the slid position seen the same way.
TEST(Search, ChildIndicesAreThoseOfTheSlidPosition) {
  const BuiltDatabases& built = builtDatabases();
  ASSERT_TRUE(built.built);
  const std::int32_t* topLeftMoves = built.topLeft.moveTable.get();
  const std::int32_t* bottomRightMoves = built.bottomRight.moveTable.get();
  std::mt19937 rng(1234);
  for (int trial = 0; trial < 500; ++trial) {
    // Any arrangement will do here, solvable or not.
    std::array<int, kCells> tiles;
    std::iota(tiles.begin(), tiles.end(), 0);
    std::shuffle(tiles.begin(), tiles.end(), rng);
    const Board board = reference::toBoard(reference::positionFromRows(tiles));
    const Indices at = indicesOf(board);
    for (int direction = 0; direction < kDirections; ++direction) {
      const std::int32_t next = topLeftMoves[at.topLeft * 4 + direction];
      const std::int32_t topRight =
          topLeftMoves[at.topRight * 4 + kMirrorLeftRightDirection[direction]];
      const std::int32_t bottomLeft =
          topLeftMoves[at.bottomLeft * 4 + kMirrorUpDownDirection[direction]];
      const std::int32_t bottomRight = bottomRightMoves[at.bottomRight * 4 + direction];
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
      const Indices child{static_cast<unsigned>(next), static_cast<unsigned>(topRight),
                          static_cast<unsigned>(bottomLeft), static_cast<unsigned>(bottomRight)};
      EXPECT_EQ(child, indicesOf(slid)) << "trial " << trial << " direction " << direction;
    }
  }
}
