#include "pattern/distance_table.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

namespace {

constexpr std::uint64_t kEveryByte = 0x0101010101010101u;
constexpr std::uint64_t kLowSevenBits = 0x7f7f7f7f7f7f7f7fu;

// The high bit of every byte of `word` that is zero, and no other bit. Exact: adding 0x7f to
// the low seven bits cannot carry into the next byte.
std::uint64_t zeroBytes(std::uint64_t word) {
  return ~(((word & kLowSevenBits) + kLowSevenBits) | word | kLowSevenBits);
}

// The high bit of every byte of `word` that equals `value`.
std::uint64_t bytesEqualTo(std::uint64_t word, unsigned value) {
  return zeroBytes(word ^ (kEveryByte * value));
}

// Words of distance and count bytes are taken apart by shifts, byte k at bits 8k and up.
static_assert(std::endian::native == std::endian::little, "the sweeps read bytes as words");

std::uint64_t loadWord(const std::uint8_t* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// Packs the high bits of the eight bytes of `mask` (as bytesEqualTo returns) into bits 0 to 7.
unsigned packBytes(std::uint64_t mask) {
  return static_cast<unsigned>(((mask >> 7) * 0x0102040810204080u) >> 56);
}

// Moves bit r of `ranks` to the cell of the r-th cell not in `taken`: a zero is let in at
// every taken cell, lowest first.
unsigned ranksToCells(unsigned ranks, unsigned taken) {
  for (; taken != 0; taken &= taken - 1) {
    const unsigned below = (taken & (0u - taken)) - 1;
    ranks = (ranks & below) | (ranks & ~below) << 1;
  }
  return ranks;
}

// The inverse of ranksToCells for cells not in `taken`: taken cells are cut out, highest first.
unsigned cellsToRanks(unsigned cells, unsigned taken) {
  while (taken != 0) {
    const unsigned top = 1u << (31 - std::countl_zero(taken));
    taken &= ~top;
    const unsigned below = top - 1;
    cells = (cells & below) | (cells >> 1 & ~below);
  }
  return cells;
}

constexpr unsigned kHasRightNeighbour = 0x7777u;  // cells not in the last column
constexpr unsigned kHasLeftNeighbour = 0xeeeeu;   // cells not in the first column

// One pass of sweep. Slides have count 0 or 1, so a source at `target` can only use free
// slides and a source at `target - 1` only tracked ones; other sources never set anything.
//
// A free slide moves only the blank, the last digit of the index, so it stays inside the run
// of consecutive states that share the other tiles' placement (12 to 16 states, read as two
// overlapping words), one state per free cell in increasing cell order. The pass is therefore
// done run by run. Inside a run the free slides are exactly the blank's steps between free
// cells, so they are followed as cell masks: a source passes the level to its unreached
// neighbours, and those above it (right or down) are reached later in the same pass and act as
// sources too, while those below it are passed already. Tracked slides leave the run and are
// read from the move table.
class Pass {
 public:
  Pass(PatternDatabase& database, unsigned target)
      : database_(database),
        distances_(database.distanceTable.get()),
        moves_(database.moveTable.get()),
        counts_(database.countTable.get()),
        target_(target),
        placed_(database.tileCount - 1),
        runLength_(static_cast<unsigned>(kCells - placed_)) {
    assert(database.tileList[placed_] == kBlank && runLength_ >= 8 && runLength_ <= 16);
  }

  // Only sources at `target`. memchr finds the next one; its run is then closed under free
  // slides when it still holds an unreached state.
  bool runFree() {
    const unsigned stateCount = database_.stateCount;
    unsigned next = 0;
    while (next < stateCount) {
      const void* found =
          std::memchr(distances_ + next, static_cast<int>(target_), stateCount - next);
      if (found == nullptr) break;
      const unsigned index =
          static_cast<unsigned>(static_cast<const std::uint8_t*>(found) - distances_);
      const unsigned run = runOf(index);
      const unsigned first = run * runLength_;
      const unsigned unreached = runBytesEqualTo(first, kUnreached);
      if (unreached != 0 && !spreadFree(run, first, runBytesEqualTo(first, target_), unreached)) {
        return true;
      }
      next = first + runLength_;
    }
    return changed_;
  }

  // Sources at `target - 1` (tracked slides) and at `target` (free slides), run by run. The
  // tracked slides of a run never land in it, so its free slides can follow them.
  bool runStep() {
    const unsigned stateCount = database_.stateCount;
    const unsigned previous = target_ - 1;
    for (unsigned first = 0, run = 0; first < stateCount; first += runLength_, ++run) {
      const std::uint64_t low = loadWord(distances_ + first);
      const std::uint64_t high = loadWord(distances_ + first + runLength_ - 8);
      const std::uint64_t lowPrevious = bytesEqualTo(low, previous);
      const std::uint64_t highPrevious = bytesEqualTo(high, previous);
      if ((lowPrevious | highPrevious) != 0) {
        unsigned sources = packRun(lowPrevious, highPrevious);
        while (sources != 0) {
          const unsigned index = first + static_cast<unsigned>(std::countr_zero(sources));
          sources &= sources - 1;
          if (!relaxTracked(index)) return true;
        }
      }
      const std::uint64_t lowTarget = bytesEqualTo(low, target_);
      const std::uint64_t highTarget = bytesEqualTo(high, target_);
      if ((lowTarget | highTarget) == 0) continue;
      const std::uint64_t lowUnreached = bytesEqualTo(low, kUnreached);
      const std::uint64_t highUnreached = bytesEqualTo(high, kUnreached);
      if ((lowUnreached | highUnreached) == 0) continue;
      if (!spreadFree(run, first, packRun(lowTarget, highTarget),
                      packRun(lowUnreached, highUnreached))) {
        return true;
      }
    }
    return changed_;
  }

 private:
  // Constant divisors for the usual run lengths, which compile to multiplications.
  unsigned runOf(unsigned index) const {
    switch (runLength_) {
      case 12:
        return index / 12;
      case 13:
        return index / 13;
      default:
        return index / runLength_;
    }
  }

  // Bit r set when state r of the run is at `value`.
  unsigned packRun(std::uint64_t low, std::uint64_t high) const {
    return packBytes(low) | packBytes(high) << (runLength_ - 8);
  }

  unsigned runBytesEqualTo(unsigned first, unsigned value) const {
    return packRun(bytesEqualTo(loadWord(distances_ + first), value),
                   bytesEqualTo(loadWord(distances_ + first + runLength_ - 8), value));
  }

  // The cells of the tracked tiles of a run (a placement index without its blank digit).
  unsigned takenCells(unsigned run) const {
    int cells[kMaxPatternTiles];
    return placementCells(run, placed_, cells);
  }

  // The free slides of one run, given as rank masks of its states at `target` and unreached.
  // Returns false as soon as every state is set.
  bool spreadFree(unsigned run, unsigned first, unsigned atTarget, unsigned unreached) {
    const unsigned taken = takenCells(run);
    const unsigned open = ranksToCells(unreached, taken);
    // Sources: the run's states at `target` and all that they reach upwards through
    // unreached cells.
    unsigned sources = ranksToCells(atTarget, taken);
    for (;;) {
      const unsigned grown =
          sources | (((sources & kHasRightNeighbour) << 1 | sources << kSide) & open);
      if (grown == sources) break;
      sources = grown;
    }
    const unsigned reachedCells =
        (sources | (sources & kHasLeftNeighbour) >> 1 | sources >> kSide) & open;
    if (reachedCells == 0) return true;
    changed_ = true;
    unsigned reached = cellsToRanks(reachedCells, taken);
    database_.filledCount += countBits16(reached);
    for (; reached != 0; reached &= reached - 1) {
      distances_[first + static_cast<unsigned>(std::countr_zero(reached))] =
          static_cast<std::uint8_t>(target_);
    }
    return database_.filledCount != database_.stateCount;
  }

  // Gives `target` to every unreached successor of `index` through a tracked slide. Returns
  // false as soon as every state is set.
  bool relaxTracked(unsigned index) {
    const std::size_t entry = std::size_t{index} * kDirections;
    std::uint32_t countWord;
    std::memcpy(&countWord, counts_ + entry, sizeof countWord);
    if (countWord == 0) return true;
    for (int direction = 0; direction < kDirections; ++direction) {
      if (((countWord >> (8 * direction)) & 0xffu) != 1) continue;
      const std::int32_t next = moves_[entry + direction];
      if (next == kNoMove || distances_[next] != kUnreached) continue;
      distances_[next] = static_cast<std::uint8_t>(target_);
      changed_ = true;
      if (++database_.filledCount == database_.stateCount) return false;
    }
    return true;
  }

  PatternDatabase& database_;
  std::uint8_t* const distances_;
  const std::int32_t* const moves_;
  const std::uint8_t* const counts_;
  const unsigned target_;
  const int placed_;
  const unsigned runLength_;
  bool changed_ = false;
};

}  // namespace

bool sweep(PatternDatabase& database, unsigned target, unsigned minSource) {
  assert(minSource <= target && target < kUnreached);
  Pass pass(database, target);
  // With minSource == target no source has cost 1; otherwise target - 1 >= minSource.
  return minSource == target ? pass.runFree() : pass.runStep();
}

bool buildDistanceTable(PatternDatabase& database, std::FILE* out) {
  assert(database.moveTable && database.countTable);
  Board scratch;
  database.distanceTable = allocateTable<std::uint8_t>(database.stateCount);
  if (!database.distanceTable) {
    std::fprintf(out, "Failed to allocate memory for data base.\n");
    return false;
  }
  std::fill_n(database.distanceTable.get(), database.stateCount, kUnreached);
  setGoal(scratch);
  database.distanceTable[rankPlacement(scratch, database)] = 0;
  database.filledCount = 1;

  // Free sweeps close a level under count-0 slides before the step sweep opens the next one,
  // which makes the result a zero/one-cost breadth-first search from the goal.
  unsigned level = 0;
  while (database.filledCount < database.stateCount) {
    if (sweep(database, level, level)) continue;
    ++level;
    sweep(database, level, level - 1);
  }
  database.countTable.reset();
  return true;
}
