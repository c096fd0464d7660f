// Additive pattern databases of up to eight tiles, the blank not tracked: one byte per
// placement of the pattern's tiles, the least number of moves of those tiles that bring them
// home (the blank in cell 15) when the blank and every other tile move for free. Databases of
// disjoint tile sets add up; the 7-8 split is tiles 9-15 and 1-8.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "parallel/worker_pool.h"
#include "pattern/pattern_database.h"

inline constexpr int kMaxAdditiveTiles = 8;

// A pattern's tiles in the digit order of its index, the first the most significant.
struct AdditivePattern {
  int tileCount;
  std::uint8_t tiles[kMaxAdditiveTiles];
};
inline constexpr AdditivePattern kEightTiles = {8, {1, 2, 3, 4, 5, 6, 7, 8}};
inline constexpr AdditivePattern kSevenTiles = {7, {9, 10, 11, 12, 13, 14, 15}};

// 16 x 15 x ... x (17 - tileCount): 518,918,400 for eight tiles, 57,657,600 for seven.
constexpr std::uint64_t placementCount(int tileCount) {
  std::uint64_t count = 1;
  for (int k = 0; k < tileCount; ++k)
    count *= static_cast<std::uint64_t>(kCells - k);
  return count;
}

// The index of the tiles standing in `cells` (cell of the pattern's k-th tile at cells[k]):
// digit k is the cell's rank among the cells that the tiles before it leave free.
template <typename Cell>
std::uint32_t rankCells(const Cell* cells, int tileCount) {
  std::uint32_t index = 0;
  unsigned taken = 0;
  for (int k = 0; k < tileCount; ++k) {
    const unsigned cell = static_cast<unsigned>(cells[k]);
    index = index * static_cast<std::uint32_t>(kCells - k) + cell -
            countBits16(taken & ((1u << cell) - 1));
    taken |= 1u << cell;
  }
  return index;
}

// What a build did, for a caller to report.
enum class AdditiveBuild { built, outOfMemory };

// Builds the table of `pattern` on all of `workers` into `distances` (placementCount bytes,
// owned by the caller); the bytes do not depend on how many workers there are. `progress`
// (may be empty) is called on the calling thread, a few times a second, with the share of the
// build done. Returns outOfMemory, with `distances` untouched, when its working memory (two
// bits per placement and blank cell: 1 GB for eight tiles) cannot be had.
AdditiveBuild buildAdditiveTable(const AdditivePattern& pattern, std::uint8_t* distances,
                                 WorkerPool& workers,
                                 const std::function<void(double share)>& progress = {});
