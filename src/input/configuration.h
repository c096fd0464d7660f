// Reading the sixteen numbers of a start position and refusing anything that is not a
// solvable permutation of 0 to 15.
#pragma once

#include <cstdio>

#include "board/board.h"

inline constexpr unsigned kMaxTile = 15;

// Reads sixteen numbers in reading order into a fully tracked board, then applies the parity
// test. Returns true when they form a permutation of 0 to 15 that can reach the goal.
// Otherwise prints the first problem to `out` and stops reading there. Nothing beyond the
// sixteenth number is consumed.
bool readConfiguration(Board& board, std::FILE* in = stdin, std::FILE* out = stdout);

// The parity test alone, on a fully tracked board; prints the refusal to `out` when false.
bool isSolvable(const Board& board, std::FILE* out = stdout);
