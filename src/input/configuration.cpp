#include "input/configuration.h"

#include <utility>

namespace {

// Row value of a tile number that has not been entered yet.
constexpr int kNotSeen = 4;

bool isSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(int c) {
  return c >= '0' && c <= '9';
}

// Reads one number as "%u" would (white space skipped, an optional sign, decimal digits) and
// leaves the character after it unread. Values that do not fit a tile, however many digits
// they have, and every negative value but -0 come back as kMaxTile + 1. Returns false when no
// digit follows (text that is not a number, or end of input).
bool readNumber(std::FILE* in, unsigned& value) {
  int c = std::getc(in);
  while (isSpace(c))
    c = std::getc(in);
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = std::getc(in);
  }
  if (!isDigit(c)) {
    if (c != EOF) std::ungetc(c, in);
    return false;
  }
  // Saturate just above the largest tile so that no length of digits can wrap to a tile.
  constexpr unsigned kOutOfRange = kMaxTile + 1;
  unsigned number = 0;
  for (; isDigit(c); c = std::getc(in)) {
    number = number * 10 + static_cast<unsigned>(c - '0');
    if (number > kOutOfRange) number = kOutOfRange;
  }
  if (c != EOF) std::ungetc(c, in);
  value = negative && number != 0 ? kOutOfRange : number;
  return true;
}

}  // namespace

bool readConfiguration(Board& board, std::FILE* in, std::FILE* out) {
  for (int tile = 0; tile < kCells; ++tile)
    board.row[tile] = kNotSeen;
  for (int cell = 0; cell < kCells; ++cell) {
    unsigned value = 0;
    if (!readNumber(in, value)) {
      std::fprintf(out, "Error: please enter only numbers.\n");
      return false;
    }
    if (value > kMaxTile) {
      std::fprintf(out, "Error: tiles must be numbered from 0 to %u.\n", kMaxTile);
      return false;
    }
    if (board.row[value] != kNotSeen) {
      std::fprintf(out, "Error: the tile %u is repeated.\n", value);
      return false;
    }
    board.tiles[cell] = static_cast<std::uint8_t>(value);
    board.column[value] = cell % kSide;
    board.row[value] = cell / kSide;
  }
  return isSolvable(board, out);
}

bool isSolvable(const Board& board, std::FILE* out) {
  // perm[g] is the tile standing where tile g belongs; the blank belongs in the last cell.
  int perm[kCells];
  perm[0] = board.tiles[kCells - 1];
  for (int cell = 0; cell < kCells - 1; ++cell)
    perm[cell + 1] = board.tiles[cell];

  int swaps = 0;
  for (int i = 0; i < kCells - 1; ++i) {
    if (perm[i] == i) continue;
    int j = i + 1;
    while (perm[j] != i)
      ++j;
    std::swap(perm[i], perm[j]);
    ++swaps;
  }
  // Every slide is one transposition and moves the blank one cell, so both parities flip.
  if ((swaps + board.column[kBlank] + board.row[kBlank]) % 2 != 0) {
    std::fprintf(out, "The puzzle can not be solved in this configuration.\n");
    return false;
  }
  return true;
}
