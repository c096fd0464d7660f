#include "input/configuration.h"

#include <utility>

namespace {

// Row value of a tile number that has not been entered yet.
constexpr int kNotSeen = 4;

// Characters of a stream, for readNumber.
struct FileSource {
  std::FILE* in;
  int get() { return std::getc(in); }
  void unget(int c) { std::ungetc(c, in); }
  bool isSpace(int c) const { return isScanSpace(c); }
};

}  // namespace

bool readConfiguration(Board& board, std::FILE* in, std::FILE* out) {
  for (int tile = 0; tile < kCells; ++tile)
    board.row[tile] = kNotSeen;
  for (int cell = 0; cell < kCells; ++cell) {
    unsigned value = 0;
    FileSource source{in};
    if (!readNumber(source, value)) {
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
    if (out != nullptr) std::fprintf(out, "The puzzle can not be solved in this configuration.\n");
    return false;
  }
  return true;
}
