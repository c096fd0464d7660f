#include "board/symmetry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <ostream>
#include <random>

namespace {

Board boardFromTiles(const std::array<int, kCells>& tiles) {
  Board board;
  for (int cell = 0; cell < kCells; ++cell) {
    board.tiles[cell] = static_cast<std::uint8_t>(tiles[cell]);
    board.row[tiles[cell]] = cell / kSide;
    board.column[tiles[cell]] = cell % kSide;
  }
  board.lastTile = -5;
  return board;
}

Board randomTrackedBoard(std::mt19937& rng) {
  std::array<int, kCells> tiles;
  std::iota(tiles.begin(), tiles.end(), 0);
  std::shuffle(tiles.begin(), tiles.end(), rng);
  return boardFromTiles(tiles);
}

void expectSamePosition(const Board& actual, const Board& expected) {
  EXPECT_EQ(actual.tiles, expected.tiles);
  EXPECT_EQ(actual.column, expected.column);
  EXPECT_EQ(actual.row, expected.row);
}

struct Mirror {
  const char* name;
  void (*apply)(Board&);
  const Direction* directionMap;
  int cellImage[kCells];
  std::array<int, kCells> goalImage;
  int tileBecomingOne;
};

// Cell images are written out rather than computed so that they check the transforms
// independently.
const Mirror kMirrors[] = {
    {"LeftRight",
     mirrorLeftRight,
     kMirrorLeftRightDirection,
     {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12},
     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0, 13, 14, 15},
     4},
    {"UpDown",
     mirrorUpDown,
     kMirrorUpDownDirection,
     {12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3},
     {1, 2, 3, 0, 5, 6, 7, 4, 9, 10, 11, 8, 13, 14, 15, 12},
     13},
};

// GoogleTest prints a parameter by its bytes otherwise.
void PrintTo(const Mirror& mirror, std::ostream* out) {
  *out << mirror.name;
}

class MirrorTest : public ::testing::TestWithParam<Mirror> {};

}  // namespace

TEST(SwapLabels, ExchangesCellsAndReducesArgumentsModulo256) {
  std::array<int, kCells> tiles = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0};
  Board board = boardFromTiles(tiles);
  swapLabels(board, 256 + 1, 512 + 4);
  std::swap(tiles[0], tiles[3]);
  expectSamePosition(board, boardFromTiles(tiles));

  swapCells(board, 0, 0, 3, 3);  // tile 4 (now in cell 0) and the blank
  std::swap(tiles[0], tiles[15]);
  expectSamePosition(board, boardFromTiles(tiles));
}

TEST_P(MirrorTest, GoalImagePutsTheTopLeftBlockOnItsGoalCells) {
  const Mirror& mirror = GetParam();
  Board board = boardFromTiles({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0});
  mirror.apply(board);
  expectSamePosition(board, boardFromTiles(mirror.goalImage));
  EXPECT_EQ(cellOf(board, 1), 0);
  EXPECT_EQ(cellOf(board, 2), 1);
  EXPECT_EQ(cellOf(board, 5), 4);
  EXPECT_EQ(cellOf(board, 6), 5);
}

TEST_P(MirrorTest, IsItsOwnInverseAndMovesTheMirroredTileOntoTileOne) {
  const Mirror& mirror = GetParam();
  std::mt19937 rng(77);
  for (int round = 0; round < 300; ++round) {
    const Board start = randomTrackedBoard(rng);
    Board board = start;
    mirror.apply(board);
    EXPECT_EQ(cellOf(board, 1), mirror.cellImage[cellOf(start, mirror.tileBecomingOne)]);
    // Every cell's content moves to the image cell, relabelled into the other tile set.
    for (int cell = 0; cell < kCells; ++cell) {
      EXPECT_EQ(board.tiles[mirror.cellImage[cell]] == kBlank, start.tiles[cell] == kBlank);
    }
    mirror.apply(board);
    expectSamePosition(board, start);
  }
}

TEST_P(MirrorTest, SlideCommutesWithTheMirrorUnderTheDirectionMap) {
  const Mirror& mirror = GetParam();
  std::mt19937 rng(4242);
  for (int round = 0; round < 300; ++round) {
    const Board start = randomTrackedBoard(rng);
    for (int direction = 0; direction < kDirections; ++direction) {
      SCOPED_TRACE(::testing::Message() << "round " << round << " direction " << direction);
      Board slidFirst = start;
      Board mirroredFirst = start;
      bool movedTracked = false;
      const bool possible = slide(slidFirst, direction, movedTracked);
      mirror.apply(mirroredFirst);
      ASSERT_EQ(slide(mirroredFirst, mirror.directionMap[direction], movedTracked), possible);
      if (!possible) continue;
      mirror.apply(slidFirst);
      expectSamePosition(mirroredFirst, slidFirst);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Symmetry, MirrorTest, ::testing::ValuesIn(kMirrors),
                         [](const ::testing::TestParamInfo<Mirror>& info) {
                           return std::string(info.param.name);
                         });
