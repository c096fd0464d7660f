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
  // Offset from the blank to the cell the moved tile comes from.
  int rowStep = 0;
  int columnStep = 0;
  switch (direction) {
    case kUp:
      if (board.row[kBlank] == kSide - 1) return false;
      rowStep = 1;
      break;
    case kDown:
      if (board.row[kBlank] == 0) return false;
      rowStep = -1;
      break;
    case kLeft:
      if (board.column[kBlank] == kSide - 1) return false;
      columnStep = 1;
      break;
    default:
      if (board.column[kBlank] == 0) return false;
      columnStep = -1;
      break;
  }
  const int blankCell = cellOf(board, kBlank);
  const int sourceCell = blankCell + rowStep * kSide + columnStep;
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
