#include "pattern/move_table.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>

namespace {

constexpr int kOffBoard = kCells;

// For each blank cell and direction, the cell of the tile that the slide moves, or kOffBoard
// when the blank's edge forbids the slide.
constexpr std::array<std::array<int, kDirections>, kCells> kSlideSource = [] {
  std::array<std::array<int, kDirections>, kCells> sources{};
  for (int cell = 0; cell < kCells; ++cell) {
    const int row = cell / kSide;
    const int column = cell % kSide;
    sources[cell][kUp] = row < kSide - 1 ? cell + kSide : kOffBoard;
    sources[cell][kDown] = row > 0 ? cell - kSide : kOffBoard;
    sources[cell][kLeft] = column < kSide - 1 ? cell + 1 : kOffBoard;
    sources[cell][kRight] = column > 0 ? cell - 1 : kOffBoard;
  }
  return sources;
}();

// The index steps of a database's digits, the same for every placement.
struct DigitSteps {
  explicit DigitSteps(int placed) {
    weight[placed] = 1;
    for (int k = placed - 1; k >= 0; --k)
      weight[k] = weight[k + 1] * static_cast<unsigned>(kCells - k - 1);
    for (int k = 0; k < placed; ++k) {
      for (int j = 0; j <= placed; ++j)
        passWeight[k][j] = j < k ? 0u : j == k || j == placed ? weight[k] : weight[k] + weight[j];
    }
  }

  // weight[k]: the index step of digit k (the product of the later digits' bases).
  unsigned weight[kMaxPatternTiles];
  // passWeight[k][j]: the index change when tile k passes over a cell holding tile j (or a
  // free cell, j = placed) in a vertical slide, in the direction of increasing cells.
  unsigned passWeight[kMaxPatternTiles][kMaxPatternTiles + 1] = {};
};

// Fills the rows of the placements of the other tiles from `begin` to `end` (exclusive): the
// states placement x blankPlaces up to the next placement's.
//
// The blank is the last digit of the index, so the states of one placement of the other tiles
// are consecutive, one per free cell in increasing order. Walking the placements in index
// order and the blank inside them needs no unranking; a slide that moves only the blank changes
// only the last digit, and one that moves tile k keeps the digits before k.
void fillPlacements(PatternDatabase& database, const DigitSteps& steps, unsigned begin,
                    unsigned end) {
  const int placed = database.tileCount - 1;
  const unsigned blankPlaces = static_cast<unsigned>(kCells - placed);
  std::int32_t* const moves = database.moveTable.get();
  std::uint8_t* const counts = database.countTable.get();
  const unsigned* const weight = steps.weight;

  unsigned digits[kMaxPatternTiles] = {};
  splitDigits(begin, placed, digits);
  int cells[kMaxPatternTiles];
  unsigned prefixTaken[kMaxPatternTiles + 1];  // cells of the tiles before k
  prefixTaken[0] = 0;
  int changedFrom = 0;  // the first digit the odometer changed; earlier cells stay valid
  for (unsigned placement = begin; placement < end; ++placement) {
    for (int k = changedFrom; k < placed; ++k) {
      cells[k] = freeCellOfRank(prefixTaken[k], digits[k]);
      prefixTaken[k + 1] = prefixTaken[k] | 1u << cells[k];
    }
    const unsigned taken = prefixTaken[placed];
    const unsigned first = placement * blankPlaces;

    // next[direction][cell]: the new index when the slide moves what stands in `cell`; the
    // extra last column stands for a slide off the board.
    std::int32_t next[kDirections][kCells + 1];
    std::uint8_t count[kCells + 1];
    unsigned freeRank = 0;
    for (int cell = 0; cell < kCells; ++cell) {
      const bool isFree = (taken & (1u << cell)) == 0;
      for (auto& row : next)
        row[cell] = static_cast<std::int32_t>(first + freeRank);
      count[cell] = isFree ? 0 : 1;
      freeRank += isFree ? 1 : 0;
    }
    for (auto& row : next)
      row[kCells] = kNoMove;
    count[kCells] = 0;

    std::uint8_t tileAt[kCells];  // tile number by cell, `placed` for a free cell
    std::fill_n(tileAt, kCells, static_cast<std::uint8_t>(placed));
    for (int k = 0; k < placed; ++k)
      tileAt[cells[k]] = static_cast<std::uint8_t>(k);

    // Swapping tile k and the blank keeps the set of occupied cells, so besides the blank
    // digit only digit k and the digits of later tiles standing between the two cells change:
    // digit k by one for the blank's cell and per free or later cell passed over, a later
    // tile's digit by one.
    for (int k = 0; k < placed; ++k) {
      const int from = cells[k];
      // `first` plus the blank's digit once it stands in `from` with tile k above it (one less
      // with tile k below it, for Up and Left).
      const unsigned blankDigit =
          first + static_cast<unsigned>(from) - countBits16(taken & ((1u << from) - 1));
      const unsigned* const passed = steps.passWeight[k];
      if (from % kSide != 0)
        next[kLeft][from] = static_cast<std::int32_t>(blankDigit - 1 - weight[k]);
      if (from % kSide != kSide - 1)
        next[kRight][from] = static_cast<std::int32_t>(blankDigit + weight[k]);
      if (from >= kSide) {
        next[kUp][from] = static_cast<std::int32_t>(
            blankDigit - 1 - weight[k] -
            (passed[tileAt[from - 1]] + passed[tileAt[from - 2]] + passed[tileAt[from - 3]]));
      }
      if (from < kCells - kSide) {
        next[kDown][from] = static_cast<std::int32_t>(
            blankDigit + weight[k] +
            (passed[tileAt[from + 1]] + passed[tileAt[from + 2]] + passed[tileAt[from + 3]]));
      }
    }

    std::int32_t* row = moves + std::size_t{first} * kDirections;
    std::uint8_t* rowCounts = counts + std::size_t{first} * kDirections;
    // The free cells in increasing order, without a test per cell that the predictor misses.
    for (unsigned free = ~taken & 0xffffu; free != 0; free &= free - 1) {
      const int blank = std::countr_zero(free);
      for (int direction = 0; direction < kDirections; ++direction) {
        const int source = kSlideSource[blank][direction];
        row[direction] = next[direction][source];
        rowCounts[direction] = count[source];
      }
      row += kDirections;
      rowCounts += kDirections;
    }
    // Next placement in index order: an odometer whose digit k counts to 16 - k.
    int k = placed - 1;
    for (; k >= 0 && ++digits[k] == static_cast<unsigned>(kCells - k); --k) {
      digits[k] = 0;
    }
    changedFrom = std::max(k, 0);
  }
}

// Placements per piece of work: about 120 kB of rows, many pieces per worker for topLeft.
constexpr unsigned kPlacementsPerPiece = 512;

}  // namespace

bool buildMoveTable(PatternDatabase& database, WorkerPool& workers, std::FILE* out) {
  const std::size_t entries = std::size_t{database.stateCount} * kDirections;
  database.moveTable = allocateTable<std::int32_t>(entries, workers);
  if (!database.moveTable) {
    if (out != nullptr) std::fprintf(out, "Failed to allocate memory for move table.\n");
    return false;
  }
  database.countTable = allocateTable<std::uint8_t>(entries, workers);
  if (!database.countTable) {
    if (out != nullptr) std::fprintf(out, "Failed to allocate memory for count table.\n");
    return false;
  }

  const int placed = database.tileCount - 1;
  assert(database.tileList[placed] == kBlank);
  const DigitSteps steps(placed);
  const unsigned placementCount = database.stateCount / static_cast<unsigned>(kCells - placed);
  // Each placement writes only its own rows, so the pieces share no entry.
  forEachPiece(
      workers, placementCount, kPlacementsPerPiece, [&](std::size_t begin, std::size_t end) {
        fillPlacements(database, steps, static_cast<unsigned>(begin), static_cast<unsigned>(end));
      });
  return true;
}

bool buildMoveTable(PatternDatabase& database, std::FILE* out) {
  WorkerPool calling(1);
  return buildMoveTable(database, calling, out);
}
