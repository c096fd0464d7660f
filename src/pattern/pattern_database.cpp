#include "pattern/pattern_database.h"

#include <cassert>
#include <cstdlib>

namespace {

void* allocateWithMalloc(std::size_t bytes) noexcept {
  return std::malloc(bytes);
}

void releaseWithFree(void* memory) noexcept {
  std::free(memory);
}

}  // namespace

constinit TableMemory tableMemory = {&allocateWithMalloc, &releaseWithFree};

PatternDatabase::PatternDatabase(int tileCount, const unsigned char* tileList)
    : tileCount(tileCount), tileList(tileList), stateCount(1) {
  assert(tileCount >= 1 && tileCount <= kMaxPatternTiles);
  for (int factor = kCells + 1 - tileCount; factor <= kCells; ++factor)
    stateCount *= factor;
}

unsigned rankPlacement(const Board& board, const PatternDatabase& database) {
  unsigned index = 0;
  unsigned taken = 0;
  for (int i = 0; i < database.tileCount; ++i) {
    const unsigned cell = static_cast<unsigned>(cellOf(board, database.tileList[i]));
    // The digit is the cell's rank among the cells the earlier tiles left free.
    const unsigned digit = cell - countBits16(taken & ((1u << cell) - 1));
    index = index * static_cast<unsigned>(kCells - i) + digit;
    taken |= 1u << cell;
  }
  return index;
}

void unrankPlacement(Board& board, unsigned index, const PatternDatabase& database) {
  assert(index < database.stateCount);
  int cells[kMaxPatternTiles];
  placementCells(index, database.tileCount, cells);
  board.tiles.fill(kDontCare);
  for (int k = 0; k < database.tileCount; ++k) {
    const int tile = database.tileList[k];
    board.column[tile] = cells[k] % kSide;
    board.row[tile] = cells[k] / kSide;
    board.tiles[cells[k]] = static_cast<std::uint8_t>(tile);
  }
}
