#include "board/board.h"

#include <cassert>

void setGoal(Board& board) {
  for (int cell = 0; cell < kCells; ++cell) {
    const int tile = cell == kCells - 1 ? kBlank : cell + 1;
    board.tiles[cell] = static_cast<std::uint8_t>(tile);
    board.column[tile] = cell % kSide;
    board.row[tile] = cell / kSide;
  }
}

bool slide(Board& board, int direction, bool& movedTracked) {
  const int blankCell = cellOf(board, kBlank);
  if (!canSlide(blankCell, direction)) return false;
  const int step = blankStep(direction);
  const int rowStep = step / kSide;  // a step is one row or one column
  const int columnStep = step % kSide;
  const int sourceCell = blankCell + step;
  const std::uint8_t tile = board.tiles[sourceCell];
  assert(tile != kBlank && (tile < kCells || tile == kDontCare));

  board.tiles[sourceCell] = kBlank;
  board.tiles[blankCell] = tile;
  board.row[kBlank] += rowStep;
  board.column[kBlank] += columnStep;
  movedTracked = tile != kDontCare;
  if (movedTracked) {
    board.row[tile] -= rowStep;
    board.column[tile] -= columnStep;
  }
  board.lastTile = tile;
  return true;
}
