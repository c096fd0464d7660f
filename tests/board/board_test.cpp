#include "board/board.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>
#include <random>

namespace {

// A random permutation; with `abstract`, about half the tiles become kDontCare and their row
// and column entries hold stale values that no slide may touch.
Board randomBoard(std::mt19937& rng, bool abstract) {
  std::array<int, kCells> order;
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), rng);
  Board board;
  for (int cell = 0; cell < kCells; ++cell) {
    const int tile = order[cell];
    const bool tracked = tile == kBlank || !abstract || rng() % 2 == 0;
    board.tiles[cell] = tracked ? static_cast<std::uint8_t>(tile) : kDontCare;
    board.row[tile] = tracked ? cell / kSide : 40 + tile;
    board.column[tile] = tracked ? cell % kSide : 70 + tile;
  }
  board.lastTile = -5;
  board.movesOnLine = static_cast<int>(rng() % 15);
  return board;
}

void expectSameExceptLastTile(const Board& actual, const Board& expected) {
  EXPECT_EQ(actual.tiles, expected.tiles);
  EXPECT_EQ(actual.column, expected.column);
  EXPECT_EQ(actual.row, expected.row);
  EXPECT_EQ(actual.movesOnLine, expected.movesOnLine);
}

void expectConsistent(const Board& board) {
  for (int cell = 0; cell < kCells; ++cell) {
    const int tile = board.tiles[cell];
    if (tile != kDontCare) {
      EXPECT_EQ(cellOf(board, tile), cell) << "tile " << tile;
    }
  }
}

Board goal() {
  Board board;
  setGoal(board);
  board.lastTile = -5;
  return board;
}

}  // namespace

TEST(SetGoal, FillsTheSolvedPositionOnAFreshBoard) {
  // Garbage underneath shows that construction itself zeroes movesOnLine.
  alignas(Board) unsigned char storage[sizeof(Board)];
  std::memset(storage, 0xA5, sizeof storage);
  Board* board = new (storage) Board;
  EXPECT_EQ(board->movesOnLine, 0);
  setGoal(*board);
  for (int cell = 0; cell < kCells - 1; ++cell)
    EXPECT_EQ(board->tiles[cell], cell + 1);
  EXPECT_EQ(board->tiles[kCells - 1], kBlank);
  expectConsistent(*board);
  board->~Board();
}

TEST(Slide, EdgeRefusesAndLeavesEverythingUntouched) {
  for (int direction : {kUp, kLeft}) {
    for (bool sentinel : {false, true}) {
      Board board = goal();
      bool movedTracked = sentinel;
      EXPECT_FALSE(slide(board, direction, movedTracked)) << kDirectionLetters[direction];
      EXPECT_EQ(movedTracked, sentinel);
      expectSameExceptLastTile(board, goal());
      EXPECT_EQ(board.lastTile, -5);
    }
  }
}

TEST(Slide, DownAndRightOnTheGoal) {
  struct Case {
    int direction, movedTile, blankCell;
  };
  for (const Case& test : {Case{kDown, 12, 11}, Case{kRight, 15, 14}}) {
    Board board = goal();
    bool movedTracked = false;
    ASSERT_TRUE(slide(board, test.direction, movedTracked));
    EXPECT_TRUE(movedTracked);
    EXPECT_EQ(board.tiles[15], test.movedTile);
    EXPECT_EQ(board.tiles[test.blankCell], kBlank);
    EXPECT_EQ(cellOf(board, kBlank), test.blankCell);
    EXPECT_EQ(cellOf(board, test.movedTile), 15);
    EXPECT_EQ(board.lastTile, test.movedTile);
    expectConsistent(board);
  }
}

TEST(Slide, DirectionsAboveThreeMeanRight) {
  Board viaRight = goal();
  Board viaSeven = goal();
  bool movedTracked = false;
  ASSERT_TRUE(slide(viaRight, kRight, movedTracked));
  ASSERT_TRUE(slide(viaSeven, 7, movedTracked));
  expectSameExceptLastTile(viaSeven, viaRight);
  EXPECT_EQ(viaSeven.lastTile, viaRight.lastTile);
}

TEST(Slide, DontCareCellMovesAsCode99) {
  // Only the top-left pattern is tracked, so the cells next to the blank hold kDontCare.
  Board board = goal();
  for (int cell = 0; cell < kCells; ++cell) {
    const int tile = board.tiles[cell];
    if (tile != 1 && tile != 2 && tile != 5 && tile != 6 && tile != kBlank) {
      board.tiles[cell] = kDontCare;
      board.row[tile] = 40 + tile;
      board.column[tile] = 70 + tile;
    }
  }
  const Board before = board;
  bool movedTracked = true;
  ASSERT_TRUE(slide(board, kDown, movedTracked));
  EXPECT_FALSE(movedTracked);
  EXPECT_EQ(board.lastTile, kDontCare);
  EXPECT_EQ(board.tiles[15], kDontCare);
  EXPECT_EQ(board.tiles[11], kBlank);
  EXPECT_EQ(board.row[kBlank], 2);
  EXPECT_EQ(board.column[kBlank], 3);
  for (int tile = 1; tile < kCells; ++tile) {
    EXPECT_EQ(board.row[tile], before.row[tile]) << "tile " << tile;
    EXPECT_EQ(board.column[tile], before.column[tile]) << "tile " << tile;
  }
}

// Random positions, tracked and abstract: each direction is refused exactly on its edge,
// moves the blank one cell the right way, keeps the invariant, and is undone by kOpposite.
TEST(Slide, OppositeUndoesEverySlideOnRandomPositions) {
  constexpr int kRowStep[kDirections] = {1, -1, 0, 0};  // of the blank, by direction
  constexpr int kColumnStep[kDirections] = {0, 0, 1, -1};
  std::mt19937 rng(20240611);
  for (int round = 0; round < 400; ++round) {
    const Board start = randomBoard(rng, round % 2 == 1);
    for (int direction = 0; direction < kDirections; ++direction) {
      SCOPED_TRACE(::testing::Message() << "round " << round << " direction " << direction);
      const int newRow = start.row[kBlank] + kRowStep[direction];
      const int newColumn = start.column[kBlank] + kColumnStep[direction];
      const bool possible = newRow >= 0 && newRow < kSide && newColumn >= 0 && newColumn < kSide;
      Board board = start;
      bool movedTracked = false;
      ASSERT_EQ(slide(board, direction, movedTracked), possible);
      if (!possible) {
        expectSameExceptLastTile(board, start);
        EXPECT_EQ(board.lastTile, start.lastTile);
        continue;
      }
      const int sourceCell = newRow * kSide + newColumn;
      const int moved = start.tiles[sourceCell];
      EXPECT_EQ(cellOf(board, kBlank), sourceCell);
      EXPECT_EQ(board.tiles[cellOf(start, kBlank)], moved);
      EXPECT_EQ(board.lastTile, moved);
      EXPECT_EQ(movedTracked, moved != kDontCare);
      expectConsistent(board);

      movedTracked = !movedTracked;
      ASSERT_TRUE(slide(board, kOpposite[direction], movedTracked));
      expectSameExceptLastTile(board, start);
      EXPECT_EQ(board.lastTile, moved);
      EXPECT_EQ(movedTracked, moved != kDontCare);
    }
  }
}
