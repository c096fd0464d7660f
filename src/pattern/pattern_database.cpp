#include "pattern/pattern_database.h"

#include <cassert>

PatternDatabase::PatternDatabase(int tileCount, const unsigned char* tileList)
    : tileCount(tileCount), tileList(tileList), stateCount(1) {
  assert(tileCount >= 1 && tileCount <= kMaxPatternTiles);
  for (int factor = kCells + 1 - tileCount; factor <= kCells; ++factor)
    stateCount *= factor;
}

unsigned rankPlacement(const Board& board, const PatternDatabase& database) {
  const int n = database.tileCount;
  int cells[kMaxPatternTiles];
  for (int i = 0; i < n; ++i)
    cells[i] = cellOf(board, database.tileList[i]);

  // Mixed radix: each digit is the cell's rank among the cells not taken by earlier tiles.
  unsigned index = 0;
  unsigned radix = kCells;
  for (int i = 0; i < n - 1; ++i) {
    index += static_cast<unsigned>(cells[i]);
    for (int j = i + 1; j < n; ++j) {
      if (cells[j] > cells[i]) --cells[j];
    }
    --radix;
    index *= radix;
  }
  return index + static_cast<unsigned>(cells[n - 1]);
}

void unrankPlacement(Board& board, unsigned index, const PatternDatabase& database) {
  assert(index < database.stateCount);
  const int n = database.tileCount;
  int digits[kMaxPatternTiles];
  unsigned base = kCells - n;
  for (int i = n - 1; i >= 0; --i) {
    ++base;
    digits[i] = static_cast<int>(index % base);
    index /= base;
  }
  // Undo the rank-among-free-cells, from the last digit back to the first.
  for (int k = n - 1; k >= 0; --k) {
    for (int j = k + 1; j < n; ++j) {
      if (digits[j] >= digits[k]) ++digits[j];
    }
  }
  board.tiles.fill(kDontCare);
  for (int k = 0; k < n; ++k) {
    const int tile = database.tileList[k];
    board.column[tile] = digits[k] % kSide;
    board.row[tile] = digits[k] / kSide;
    board.tiles[digits[k]] = static_cast<std::uint8_t>(tile);
  }
}
