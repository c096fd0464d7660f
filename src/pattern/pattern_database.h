// One abstraction of the puzzle: a few tracked tiles plus the blank, every other tile
// kDontCare. Each placement of the tracked tiles on distinct cells has a placement index;
// the tables are indexed by it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "board/board.h"
#include "parallel/worker_pool.h"

// Move-table entry of a slide that the blank's edge forbids.
inline constexpr std::int32_t kNoMove = -1;

// Tile lists; the blank is last and the order is the digit order of the placement index.
inline constexpr unsigned char kTopLeftPattern[] = {1, 2, 5, 6, kBlank};
inline constexpr unsigned char kBottomRightPattern[] = {11, 12, 15, kBlank};
inline constexpr int kMaxPatternTiles = 5;

// Where the tables' memory comes from and goes back to: std::malloc and std::free, which
// report a failure by an empty pointer alone. (The nothrow operator new[] of libstdc++ calls
// the throwing one and catches; the exception needs memory too, and without it the library
// ends the process.) A test may put its own pair here, before it allocates a table.
struct TableMemory {
  void* (*allocate)(std::size_t bytes) noexcept;
  void (*release)(void* memory) noexcept;
};
extern TableMemory tableMemory;

struct TableRelease {
  void operator()(void* memory) const noexcept { tableMemory.release(memory); }
};
// A table of trivial entries, owned; empty when its memory could not be had.
template <typename T>
using Table = std::unique_ptr<T[], TableRelease>;

struct PatternDatabase {
  // Stores the tile list (borrowed; must outlive the database) and computes stateCount
  // = 16 x 15 x ... x (17 - tileCount). The tables start empty.
  PatternDatabase(int tileCount, const unsigned char* tileList);
  PatternDatabase(const PatternDatabase&) = delete;
  PatternDatabase& operator=(const PatternDatabase&) = delete;

  std::int32_t tileCount;
  const unsigned char* tileList;
  std::uint32_t stateCount;
  // The tables are owned and released by the destructor (countTable earlier, by the distance
  // build). Layout: moveTable[index * 4 + direction] is the successor index or kNoMove (until
  // the solver rewrites it in place for the search); countTable[index * 4 + direction] is 1
  // when that slide moves a tracked tile.
  Table<std::int32_t> moveTable;
  Table<std::uint8_t> countTable;
  // Least number of tracked-tile slides to the goal placement, one byte per state.
  Table<std::uint8_t> distanceTable;
  std::uint32_t filledCount = 0;  // states whose distance is set
  // Set once the solver has rewritten moveTable into the search's layout, which is no longer
  // a table of plain indices and must not be rewritten again.
  bool searchLayout = false;
};

// Allocates a table of `size` entries, uninitialised; empty when memory runs out. Never throws.
template <typename T>
Table<T> allocateTable(std::size_t size) {
  static_assert(std::is_trivial_v<T>, "the entries are never constructed or destroyed");
  if (size > SIZE_MAX / sizeof(T)) return nullptr;
  return Table<T>(static_cast<T*>(tableMemory.allocate(size * sizeof(T))));
}

// The same for a build that runs on `workers`. When the table does not fit while the pool's
// threads hold their stacks, the threads are given back and the table is tried once more: the
// run goes on with the calling thread alone and prints what a run on one CPU would.
template <typename T>
Table<T> allocateTable(std::size_t size, WorkerPool& workers) {
  Table<T> table = allocateTable<T>(size);
  if (!table && workers.size() > 1) {
    workers.releaseThreads();
    table = allocateTable<T>(size);
  }
  return table;
}

// Number of set bits of a 16-bit mask. Without -mpopcnt, g++ turns std::popcount into a
// library call; this stays a few inline instructions.
constexpr unsigned countBits16(unsigned mask) {
  mask = mask - ((mask >> 1) & 0x5555u);
  mask = (mask & 0x3333u) + ((mask >> 2) & 0x3333u);
  mask = (mask + (mask >> 4)) & 0x0f0fu;
  return (mask + (mask >> 8)) & 0x1fu;
}

// The cell of the given rank among the cells not set in `taken`; that many must be free.
inline int freeCellOfRank(unsigned taken, unsigned rank) {
  // Each taken cell at or below the candidate pushes it one cell further; visiting the taken
  // cells in increasing order settles it in as many steps as there are taken cells.
  unsigned cell = rank;
  for (; taken != 0; taken &= taken - 1) {
    cell += static_cast<unsigned>(std::countr_zero(taken)) <= cell ? 1u : 0u;
  }
  return static_cast<int>(cell);
}

// Splits an index of `count` digits (digit k has base 16 - k) from the last digit. Each count
// gets its own instance with constant divisors, which compile to multiplications.
template <int kCount = kMaxPatternTiles>
void splitDigits(unsigned index, int count, unsigned* digits) {
  if constexpr (kCount > 1) {
    if (count < kCount) return splitDigits<kCount - 1>(index, count, digits);
  }
  for (int k = kCount - 1; k >= 0; --k) {
    const unsigned base = static_cast<unsigned>(kCells - k);
    digits[k] = index % base;
    index /= base;
  }
}

// Fills `cells` with the cells of the `count` tiles that an index of `count` digits places (a
// placement index, or one without its blank digit) and returns the mask of those cells.
inline unsigned placementCells(unsigned index, int count, int* cells) {
  unsigned digits[kMaxPatternTiles];
  splitDigits(index, count, digits);
  unsigned taken = 0;
  for (int k = 0; k < count; ++k) {
    cells[k] = freeCellOfRank(taken, digits[k]);
    taken |= 1u << cells[k];
  }
  return taken;
}

// The placement index of the tracked tiles; reads only row and column of the listed tiles.
unsigned rankPlacement(const Board& board, const PatternDatabase& database);

// Writes the abstract position of `index` (below stateCount): every cell not named holds
// kDontCare; row and column of untracked tiles are left as they were.
void unrankPlacement(Board& board, unsigned index, const PatternDatabase& database);
