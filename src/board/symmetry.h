// Relabel-and-mirror transforms that let the top-left pattern database also measure the
// top-right and bottom-left blocks, and the direction maps that follow a real move inside
// the mirrored views.
#pragma once

#include "board/board.h"

// A real move in direction d is the move kMirror...Direction[d] in the mirrored view.
inline constexpr Direction kMirrorLeftRightDirection[kDirections] = {kUp, kDown, kRight, kLeft};
inline constexpr Direction kMirrorUpDownDirection[kDirections] = {kDown, kUp, kLeft, kRight};

// Tiles a and b (taken modulo 256) exchange cells. Both must be tracked.
void swapLabels(Board& board, int a, int b);
// The tiles standing in the two cells exchange cells.
void swapCells(Board& board, int row1, int column1, int row2, int column2);

// Both transforms need all sixteen tiles tracked and are their own inverse.
// Left-right: tiles 4, 3, 8, 7 become 1, 2, 5, 6 standing on the top-left block's cells.
void mirrorLeftRight(Board& board);
// Up-down: tiles 13, 14, 9, 10 become 1, 2, 5, 6 standing on the top-left block's cells.
void mirrorUpDown(Board& board);
