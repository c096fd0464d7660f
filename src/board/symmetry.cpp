#include "board/symmetry.h"

#include <cassert>
#include <utility>

namespace {

struct LabelPair {
  int a;
  int b;
};

// Mirror images of the goal's labels; tiles not listed keep their numbers.
constexpr LabelPair kLeftRightPairs[] = {{1, 4},  {2, 3},   {5, 8},  {6, 7},
                                         {9, 12}, {10, 11}, {13, 15}};
constexpr LabelPair kUpDownPairs[] = {{1, 13}, {5, 9}, {2, 14}, {6, 10}, {3, 15}, {7, 11}, {4, 12}};

}  // namespace

void swapLabels(Board& board, int a, int b) {
  a &= 0xff;
  b &= 0xff;
  assert(a < kCells && b < kCells);
  std::swap(board.column[a], board.column[b]);
  std::swap(board.row[a], board.row[b]);
  board.tiles[cellOf(board, a)] = static_cast<std::uint8_t>(a);
  board.tiles[cellOf(board, b)] = static_cast<std::uint8_t>(b);
}

void swapCells(Board& board, int row1, int column1, int row2, int column2) {
  swapLabels(board, board.tiles[row1 * kSide + column1], board.tiles[row2 * kSide + column2]);
}

void mirrorLeftRight(Board& board) {
  for (const LabelPair& pair : kLeftRightPairs)
    swapLabels(board, pair.a, pair.b);
  for (int row = 0; row < kSide; ++row) {
    swapCells(board, row, 0, row, 3);
    swapCells(board, row, 1, row, 2);
  }
}

void mirrorUpDown(Board& board) {
  for (const LabelPair& pair : kUpDownPairs)
    swapLabels(board, pair.a, pair.b);
  for (int column = 0; column < kSide; ++column) {
    swapCells(board, 0, column, 3, column);
    swapCells(board, 1, column, 2, column);
  }
}
