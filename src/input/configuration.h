// Reading the sixteen numbers of a start position and refusing anything that is not a
// solvable permutation of 0 to 15.
#pragma once

#include <cstdio>

#include "board/board.h"

inline constexpr unsigned kMaxTile = 15;

// Reads one number as "%u" would (white space skipped, an optional sign, decimal digits) from
// `source`, which has `int get()` (EOF at the end), `void unget(int)` and
// `bool isSpace(int) const`, and leaves the character after it unread. Values that do not fit a
// tile, however many digits they have, and every negative value but -0 come back as
// kMaxTile + 1. Returns false when no digit follows (text that is not a number, or the end).
template <typename Source>
bool readNumber(Source& source, unsigned& value) {
  const auto isDigit = [](int c) { return c >= '0' && c <= '9'; };
  int c = source.get();
  while (source.isSpace(c))
    c = source.get();
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = source.get();
  }
  if (!isDigit(c)) {
    if (c != EOF) source.unget(c);
    return false;
  }
  // Saturate just above the largest tile so that no length of digits can wrap to a tile.
  constexpr unsigned kOutOfRange = kMaxTile + 1;
  unsigned number = 0;
  for (; isDigit(c); c = source.get()) {
    number = number * 10 + static_cast<unsigned>(c - '0');
    if (number > kOutOfRange) number = kOutOfRange;
  }
  if (c != EOF) source.unget(c);
  value = negative && number != 0 ? kOutOfRange : number;
  return true;
}

// The white space of "%u": what separates the numbers.
constexpr bool isScanSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads sixteen numbers in reading order into a fully tracked board, then applies the parity
// test. Returns true when they form a permutation of 0 to 15 that can reach the goal.
// Otherwise prints the first problem to `out` and stops reading there. Nothing beyond the
// sixteenth number is consumed.
bool readConfiguration(Board& board, std::FILE* in = stdin, std::FILE* out = stdout);

// The parity test alone, on a fully tracked board; prints the refusal to `out` (unless null)
// when false.
bool isSolvable(const Board& board, std::FILE* out = stdout);
