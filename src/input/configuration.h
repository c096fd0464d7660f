// Reading the sixteen numbers of a start position and refusing anything that is not a
// solvable permutation of 0 to 15.
#pragma once

#include <cstdio>

#include "board/board.h"

inline constexpr unsigned kMaxTile = 15;

// Reads one number as "%u" would (white space skipped, an optional sign, decimal digits) and
// leaves the character after it unread. Values that do not fit a tile, however many digits
// they have, and every negative value but -0 come back as kMaxTile + 1. Returns false when no
// digit follows (text that is not a number, or end of input).
bool readNumber(std::FILE* in, unsigned& value);

// Reads sixteen numbers in reading order into a fully tracked board, then applies the parity
// test. Returns true when they form a permutation of 0 to 15 that can reach the goal.
// Otherwise prints the first problem to `out` and stops reading there. Nothing beyond the
// sixteenth number is consumed.
bool readConfiguration(Board& board, std::FILE* in = stdin, std::FILE* out = stdout);

// The parity test alone, on a fully tracked board; prints the refusal to `out` when false.
bool isSolvable(const Board& board, std::FILE* out = stdout);
