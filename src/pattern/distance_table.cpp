#include "pattern/distance_table.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cassert>
#include <cstring>

#include "platform/hints.h"

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

// ranksToCells of the two 16-bit halves of `ranks` at once.
std::uint32_t ranksToCellsTwice(std::uint32_t ranks, unsigned taken) {
  for (; taken != 0; taken &= taken - 1) {
    const std::uint32_t below = (taken & (0u - taken)) - 1;
    const std::uint32_t keep = below | below << 16;
    // A rank's bit never passes its cell, so no bit crosses into the other half.
    ranks = (ranks & keep) | (ranks & ~keep) << 1;
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

// A free slide moves only the blank, the last digit of the index, so it stays inside the run
// of consecutive states that share the other tiles' placement (12 to 16 states, read as two
// overlapping words), one state per free cell in increasing cell order. Inside a run the free
// slides are exactly the blank's steps between free cells, so they are followed as cell masks.
// Tracked slides leave the run and are read from the move table.
class RunLayout {
 protected:
  explicit RunLayout(const PatternDatabase& database)
      : placed_(database.tileCount - 1), runLength_(static_cast<unsigned>(kCells - placed_)) {
    assert(database.tileList[placed_] == kBlank && runLength_ >= 8 && runLength_ <= 16);
  }

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

  // Bit r set when state r of the run is at `value`, from the bytesEqualTo masks of its two
  // words.
  unsigned packRun(std::uint64_t low, std::uint64_t high) const {
    return packBytes(low) | packBytes(high) << (runLength_ - 8);
  }

  // The cells of the tracked tiles of a run (a placement index without its blank digit). The
  // first two tiles come from a table; for the databases of the system the other digits then
  // have constant divisors.
  unsigned takenCells(unsigned run) const {
    switch (placed_) {
      case 3:
        return withCellOfRank(kFirstTwoCells[run / 14], run % 14);
      case 4:
        return withCellOfRank(withCellOfRank(kFirstTwoCells[run / (14 * 13)], run / 13 % 14),
                              run % 13);
      default: {
        int cells[kMaxPatternTiles];
        return placementCells(run, placed_, cells);
      }
    }
  }

 private:
  // `taken` and the cell of the given rank among the cells not in it.
  static unsigned withCellOfRank(unsigned taken, unsigned rank) {
    return taken | 1u << freeCellOfRank(taken, rank);
  }

  // The cells of the first two tiles for each value of the first two digits.
  static constexpr auto kFirstTwoCells = [] {
    std::array<std::uint16_t, kCells*(kCells - 1)> cells{};
    for (unsigned first = 0; first < kCells; ++first) {
      for (unsigned second = 0; second < kCells - 1; ++second) {
        cells[first * (kCells - 1) + second] =
            static_cast<std::uint16_t>(1u << first | 1u << (second + (second >= first ? 1 : 0)));
      }
    }
    return cells;
  }();

 protected:
  const int placed_;
  const unsigned runLength_;
};

// One pass of sweep. Slides have count 0 or 1, so a source at `target` can only use free
// slides and a source at `target - 1` only tracked ones; other sources never set anything.
// The pass is done run by run: a source passes the level to its unreached neighbours in the
// run, and those above it (right or down) are reached later in the same pass and act as
// sources too, while those below it are passed already.
class Pass : RunLayout {
 public:
  Pass(PatternDatabase& database, unsigned target)
      : RunLayout(database),
        database_(database),
        distances_(database.distanceTable.get()),
        moves_(database.moveTable.get()),
        counts_(database.countTable.get()),
        target_(target) {}

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
  unsigned runBytesEqualTo(unsigned first, unsigned value) const {
    return packRun(bytesEqualTo(loadWord(distances_ + first), value),
                   bytesEqualTo(loadWord(distances_ + first + runLength_ - 8), value));
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
  bool changed_ = false;
};

// Distance bytes per piece of the table's first filling.
constexpr std::size_t kBytesPerPiece = 1 << 15;
// Prefetches go by cache lines.
constexpr unsigned kCacheLine = 64;

// A word whose byte k is 0xff when bit k of `bits` is set and 0 otherwise (k below 8).
std::uint64_t bytesOfBits(unsigned bits) {
  // Byte k keeps bit k of its copy of `bits`; a byte that is not zero then becomes 0xff.
  const std::uint64_t kept = (bits & 0xffu) * kEveryByte & 0x8040201008040201u;
  const std::uint64_t nonZero = (((kept & kLowSevenBits) + kLowSevenBits) | kept) & ~kLowSevenBits;
  return (nonZero >> 7) * 0xffu;
}

// The cells of one colour of a chessboard laid over the board.
constexpr unsigned kDarkCells = [] {
  unsigned cells = 0;
  for (unsigned cell = 0; cell < kCells; ++cell)
    cells |= ((cell / kSide + cell % kSide) % 2) << cell;
  return cells;
}();

// The build, one level at a time: first every tracked slide from the states one level below,
// then inside each run every free slide from the states at the level, until that closes it. A
// level is then complete: a state at distance L is reached from one at L - 1 by a tracked slide
// and then free slides through states at L, which were all unreached before.
//
// While the sources are few, their tracked successors are pushed the level, and a free pass
// closes the runs. That push writes anywhere, so it runs on the calling thread alone. Later
// levels pull instead: on all workers, each unreached state of a worker's pieces with a tracked
// neighbour at L - 1 takes the level, and its run is closed at once. A tracked slide's opposite
// is a tracked slide back, so both give the same table.
//
// Why no two threads ever race, with plain accesses only: a tracked slide moves one tracked
// tile to a neighbouring cell, so it flips the parity of the tracked tiles on dark cells, and a
// free slide keeps it. All states of a run share it, and all states at a level have the goal's
// parity flipped once per level. A pulling pass writes only runs of the level's parity in its
// own pieces, and reads other pieces only in runs of the other parity, which no one writes
// then. The fill, the parities and the free pass touch only their own pieces, and pool.run
// orders the passes.
class LevelBuild : RunLayout {
 public:
  LevelBuild(PatternDatabase& database, WorkerPool& workers)
      : RunLayout(database),
        database_(database),
        workers_(workers),
        distances_(database.distanceTable.get()),
        moves_(database.moveTable.get()),
        counts_(database.countTable.get()),
        runCount_(database.stateCount / runLength_),
        runsPerPiece_(std::max<std::size_t>(kRunsPerPiece, (runCount_ - 1) / kMaxPieces + 1)) {
    // Every state count is a multiple of 16 (the first digit's base), so the table is whole
    // words.
    assert(database.stateCount % sizeof(std::uint64_t) == 0);
    assert(runCount_ <= kMaxRuns);
    // A piece's parity bits are whole words of its own.
    assert(runsPerPiece_ % 64 == 0);
  }

  void run(unsigned goal) {
    const std::size_t stateCount = database_.stateCount;
    // The workers touch the table's pages first, each its own pieces.
    forEachPiece(workers_, stateCount, kBytesPerPiece, [&](std::size_t begin, std::size_t end) {
      std::fill(distances_ + begin, distances_ + end, kUnreached);
    });
    forEachPiece(workers_, runCount_, runsPerPiece_, [&](std::size_t begin, std::size_t end) {
      setParities(static_cast<unsigned>(begin), static_cast<unsigned>(end));
    });
    goalParity_ = parityOf(runOf(goal));
    distances_[goal] = 0;
    unsigned level = 0;
    unsigned atLevel = closeLevel(level);
    database_.filledCount = atLevel;
    while (database_.filledCount < stateCount) {
      ++level;
      assert(level < kUnreached);
      // Pulling visits the unreached states (those of one parity) on all workers, pushing
      // visits the sources, alone.
      if (stateCount - database_.filledCount <
          std::size_t{atLevel} * kUnreachedPerSource * workers_.size()) {
        atLevel = pullLevel(level);
      } else {
        pushLevel(level);
        atLevel = closeLevel(level);
      }
      // Every placement reaches the goal, so no level is empty before the last; should one
      // be, the next would be too.
      assert(atLevel != 0);
      if (atLevel == 0) break;
      database_.filledCount += atLevel;
    }
  }

 private:
  // Pieces of the level passes: many per worker for topLeft, so that the workers finish
  // together, and few enough for the flags below.
  static constexpr std::size_t kRunsPerPiece = 1 << 9;
  static constexpr std::size_t kMaxPieces = 256;
  // Runs of the largest database: five entries, so runs of at least twelve states.
  static constexpr std::size_t kMaxRuns = 16 * 15 * 14 * 13;
  // A level is pulled once there are fewer unreached states than this per source and worker:
  // of 3, 4, 6 and 12, the fastest on one and on two workers, measured on topLeft.
  static constexpr std::size_t kUnreachedPerSource = 3;

  // Whether a run's tracked tiles stand on an odd number of dark cells.
  bool parityOf(unsigned run) const { return (countBits16(takenCells(run) & kDarkCells) & 1) != 0; }

  // Whether the states at `level` stand in runs of odd parity.
  bool levelParity(unsigned level) const { return goalParity_ != ((level & 1) != 0); }

  bool runParity(unsigned run) const { return (runParities_[run / 64] >> (run % 64) & 1) != 0; }

  // Fills the parity bits of runs `begin` to `end`, whole words. The runs of one placement of
  // all tracked tiles but the last differ only in that tile's cell: the free cells in order.
  void setParities(unsigned begin, unsigned end) {
    const unsigned lastBase = static_cast<unsigned>(kCells - placed_ + 1);
    std::uint64_t bits = 0;
    unsigned dark = 0;  // bit d: the d-th free cell is dark, flipped when the others are odd
    for (unsigned run = begin; run < end; ++run) {
      const unsigned digit = run % lastBase;
      if (digit == 0 || run == begin) {
        int cells[kMaxPatternTiles];
        const unsigned taken = placementCells(run / lastBase, placed_ - 1, cells);
        dark = cellsToRanks(kDarkCells & ~taken, taken);
        if ((countBits16(taken & kDarkCells) & 1) != 0) dark = ~dark;
      }
      assert((dark >> digit & 1) == parityOf(run));
      bits |= std::uint64_t{dark >> digit & 1} << (run % 64);
      openStates_[dark >> digit & 1][begin / runsPerPiece_] += runLength_;
      if (run % 64 == 63 || run + 1 == end) {
        runParities_[run / 64] = bits;
        bits = 0;
      }
    }
  }

  // Closes every run under free slides at `level`; returns how many states are at `level`.
  unsigned closeLevel(unsigned level) { return passOverPieces(level, &LevelBuild::closeRuns); }

  // Runs `pass` (closeRuns or pullRuns) over every piece on all workers and records what it
  // found; returns how many states are at `level`.
  unsigned passOverPieces(unsigned level,
                          unsigned (LevelBuild::*pass)(unsigned, unsigned, unsigned) const) {
    std::atomic<unsigned> atLevel{0};
    forEachPiece(workers_, runCount_, runsPerPiece_, [&](std::size_t begin, std::size_t end) {
      const unsigned count =
          (this->*pass)(level, static_cast<unsigned>(begin), static_cast<unsigned>(end));
      finishPiece(begin / runsPerPiece_, level, count);
      atLevel.fetch_add(count, std::memory_order_relaxed);
    });
    return atLevel.load(std::memory_order_relaxed);
  }

  // Records that `count` states of piece `piece` are at `level`, on the worker that ran it.
  void finishPiece(std::size_t piece, unsigned level, unsigned count) {
    pieceHasLevel_[piece] = count != 0;
    openStates_[levelParity(level)][piece] -= count;
  }

  // Every tracked slide from the states at `level - 1`, on the calling thread.
  void pushLevel(unsigned level) {
    for (std::size_t begin = 0; begin < runCount_; begin += runsPerPiece_) {
      if (!pieceHasLevel_[begin / runsPerPiece_]) continue;
      pushTracked(level, static_cast<unsigned>(begin),
                  static_cast<unsigned>(std::min(runCount_, begin + runsPerPiece_)));
    }
  }

  // Pulls `level` into every piece on all workers and closes the runs it reached; returns how
  // many states are at `level`.
  unsigned pullLevel(unsigned level) { return passOverPieces(level, &LevelBuild::pullRuns); }

  // Gives `level` to every unreached state of runs `begin` to `end` with a tracked neighbour at
  // `level - 1`, then closes those runs under free slides; returns how many of their states
  // are at `level`. Reads other runs only through those neighbours, of the other parity.
  unsigned pullRuns(unsigned level, unsigned begin, unsigned end) const {
    const bool parity = levelParity(level);
    if (openStates_[parity][begin / runsPerPiece_] == 0) return 0;
    unsigned atLevel = 0;
    // The runs of the level's parity, by their bits; pieces start at whole words.
    for (unsigned word = begin / 64; word * 64 < end; ++word) {
      std::uint64_t runs = parity ? runParities_[word] : ~runParities_[word];
      if (end - word * 64 < 64) runs &= (std::uint64_t{1} << (end - word * 64)) - 1;
      for (; runs != 0; runs &= runs - 1) {
        const unsigned run = word * 64 + static_cast<unsigned>(std::countr_zero(runs));
        const unsigned first = run * runLength_;
        const std::uint64_t low = loadWord(distances_ + first);
        const std::uint64_t high = loadWord(distances_ + first + runLength_ - 8);
        const unsigned unreached =
            packRun(bytesEqualTo(low, kUnreached), bytesEqualTo(high, kUnreached));
        if (unreached == 0) continue;
        const unsigned pulled = pullRun(first, unreached, level);
        if (pulled == 0) continue;
        const unsigned set = pulled | closeRun(run, pulled, unreached);
        storeRun(first, set, level, low, high);
        atLevel += countBits16(set);
      }
    }
    return atLevel;
  }

  // The ranks of the states in `unreached` of the run from `first` that a tracked slide leads
  // to from a state at `level - 1`.
  unsigned pullRun(std::size_t first, unsigned unreached, unsigned level) const {
    const std::uint8_t* const distances = distances_;
    const std::int32_t* const moves = moves_ + first * kDirections;
    unsigned pulled = 0;
    for (std::uint64_t slides = trackedSlides(first) & everySlideOf(unreached); slides != 0;
         slides &= slides - 1) {
      const unsigned slide = static_cast<unsigned>(std::countr_zero(slides));
      const std::int32_t next = moves[slide];
      assert(next != kNoMove);
      // Branch-free, as whether a neighbour is a source follows no pattern.
      pulled |= unsigned{distances[next] == level - 1} << (slide / kDirections);
    }
    return pulled;
  }

  // Writes `level` into the states `set` of the run from `first`, whose two words were `low`
  // and `high`. Both words are written whole; where they overlap they agree. Both lie inside
  // the run.
  void storeRun(std::size_t first, unsigned set, unsigned level, std::uint64_t low,
                std::uint64_t high) const {
    const std::uint64_t levels = kEveryByte * level;
    const std::uint64_t lowSet = bytesOfBits(set);
    const std::uint64_t highSet = bytesOfBits(set >> (runLength_ - 8));
    low = (low & ~lowSet) | (levels & lowSet);
    high = (high & ~highSet) | (levels & highSet);
    std::memcpy(distances_ + first, &low, sizeof low);
    std::memcpy(distances_ + first + runLength_ - 8, &high, sizeof high);
  }

  // Gives `level` to every unreached successor through a tracked slide of the states at
  // `level - 1` in runs `begin` to `end`.
  void pushTracked(unsigned level, unsigned begin, unsigned end) const {
    const std::size_t last = std::size_t{end} * runLength_;
    // The move and count rows of a run come from memory; the next run's are fetched while
    // this one's slides are followed.
    std::size_t first = nextSourceRun(level, std::size_t{begin} * runLength_, last);
    while (first < last) {
      const std::size_t next = nextSourceRun(level, first + runLength_, last);
      if (next < last) {
        const char* const rows = reinterpret_cast<const char*>(moves_ + next * kDirections);
        for (unsigned line = 0; line < runLength_ * sizeof(std::int32_t) * kDirections;
             line += kCacheLine)
          platform::prefetch(rows + line);
        platform::prefetch(counts_ + next * kDirections);
      }
      pushRun(first, level);
      first = next;
    }
  }

  // The first state of the first run at or after byte `from` that holds a state at
  // `level - 1`, or `last` when there is none before `last`.
  std::size_t nextSourceRun(unsigned level, std::size_t from, std::size_t last) const {
    if (from >= last) return last;
    const std::uint64_t sources = kEveryByte * (level - 1);
    // Word by word, the bytes before `from` left out.
    std::size_t word = from / 8;
    std::uint64_t found = zeroBytes(loadWord(distances_ + word * 8) ^ sources) &
                          ~std::uint64_t{0} << (8 * (from % 8));
    while (found == 0) {
      if (++word * 8 >= last) return last;
      found = zeroBytes(loadWord(distances_ + word * 8) ^ sources);
    }
    const std::size_t index = word * 8 + static_cast<unsigned>(std::countr_zero(found)) / 8;
    if (index >= last) return last;
    return std::size_t{runOf(static_cast<unsigned>(index))} * runLength_;
  }

  // The tracked slides of the run from `first`: bit first * 4 + p of the move and count
  // tables is slide p % 4 of state first + p / 4, so the run's count bytes give, as one mask
  // over p, all its tracked slides at once.
  std::uint64_t trackedSlides(std::size_t first) const {
    // Count bytes are 0 or 1 for a possible slide; an impossible one has kNoMove below.
    const std::uint8_t* const counts = counts_ + first * kDirections;
    const unsigned countBytes = runLength_ * kDirections;
    std::uint64_t tracked = 0;
    unsigned at = 0;
    for (; at + 8 <= countBytes; at += 8)
      tracked |= std::uint64_t{packBytes((loadWord(counts + at) & kEveryByte) << 7)} << at;
    if (at < countBytes) {  // an odd run length leaves half a word
      std::uint32_t half;
      std::memcpy(&half, counts + at, sizeof half);
      tracked |= std::uint64_t{packBytes((half & kEveryByte) << 7)} << at;
    }
    return tracked;
  }

  // The tracked slides of the run from `first` whose states are at `level - 1`.
  void pushRun(std::size_t first, unsigned level) const {
    const unsigned sources =
        packRun(bytesEqualTo(loadWord(distances_ + first), level - 1),
                bytesEqualTo(loadWord(distances_ + first + runLength_ - 8), level - 1));
    std::uint8_t* const distances = distances_;
    const std::int32_t* const moves = moves_ + first * kDirections;
    for (std::uint64_t slides = trackedSlides(first) & everySlideOf(sources); slides != 0;
         slides &= slides - 1) {
      const std::int32_t next = moves[std::countr_zero(slides)];
      if (next == kNoMove) continue;
      // Branch-free: whether the successor is unreached follows no pattern the predictor
      // keeps. The smaller of its distance and the level changes only an unreached one.
      distances[next] = static_cast<std::uint8_t>(std::min<unsigned>(distances[next], level));
    }
  }

  // The four slide bits 4r to 4r + 3 for every state r in `states` (a rank mask).
  static std::uint64_t everySlideOf(unsigned states) {
    std::uint64_t spread = states & 0xffffu;
    spread = (spread | spread << 24) & 0x000000ff000000ffu;
    spread = (spread | spread << 12) & 0x000f000f000f000fu;
    spread = (spread | spread << 6) & 0x0303030303030303u;
    spread = (spread | spread << 3) & 0x1111111111111111u;
    return spread * 0xfu;
  }

  // Closes runs `begin` to `end` under free slides at `level`; returns how many of their states
  // are at `level`.
  unsigned closeRuns(unsigned level, unsigned begin, unsigned end) const {
    unsigned atLevel = 0;
    const std::uint8_t* const last = distances_ + std::size_t{end} * runLength_;
    // Most runs hold no state at the level; memchr skips them fastest.
    for (const std::uint8_t* from = distances_ + std::size_t{begin} * runLength_; from < last;) {
      const auto* found =
          static_cast<const std::uint8_t*>(std::memchr(from, static_cast<int>(level), last - from));
      if (found == nullptr) break;
      const unsigned run = runOf(static_cast<unsigned>(found - distances_));
      const unsigned first = run * runLength_;
      const std::uint64_t low = loadWord(distances_ + first);
      const std::uint64_t high = loadWord(distances_ + first + runLength_ - 8);
      unsigned reached = packRun(bytesEqualTo(low, level), bytesEqualTo(high, level));
      const unsigned unreached =
          packRun(bytesEqualTo(low, kUnreached), bytesEqualTo(high, kUnreached));
      if (unreached != 0) {
        const unsigned set = closeRun(run, reached, unreached);
        if (set != 0) {
          storeRun(first, set, level, low, high);
          reached |= set;
        }
      }
      atLevel += countBits16(reached);
      from = distances_ + first + runLength_;
    }
    return atLevel;
  }

  // The ranks of the run's unreached states that free slides through unreached states lead to
  // from its states at the level (`atLevel`, a rank mask).
  unsigned closeRun(unsigned run, unsigned atLevel, unsigned unreached) const {
    const unsigned taken = takenCells(run);
    const std::uint32_t cells = ranksToCellsTwice(atLevel | unreached << 16, taken);
    const unsigned open = cells >> 16;
    unsigned reached = cells & 0xffffu;
    for (;;) {
      const unsigned grown =
          reached | (((reached & kHasRightNeighbour) << 1 | (reached & kHasLeftNeighbour) >> 1 |
                      reached << kSide | reached >> kSide) &
                     open);
      if (grown == reached) break;
      reached = grown;
    }
    return cellsToRanks(reached & open, taken);
  }

  PatternDatabase& database_;
  WorkerPool& workers_;
  std::uint8_t* const distances_;
  const std::int32_t* const moves_;
  const std::uint8_t* const counts_;
  const std::size_t runCount_;
  const std::size_t runsPerPiece_;
  bool goalParity_ = false;
  // Set by the pass that finishes a level for each piece that holds states at that level; the
  // next level's pushing pass skips the others.
  bool pieceHasLevel_[kMaxPieces] = {};
  // Unreached states of each parity per piece, counted down by the worker that runs the piece,
  // so that a pulling pass skips pieces with none.
  std::uint32_t openStates_[2][kMaxPieces] = {};
  // Bit r: parityOf(r), for the pulling passes.
  std::uint64_t runParities_[(kMaxRuns + 63) / 64] = {};
};

}  // namespace

bool sweep(PatternDatabase& database, unsigned target, unsigned minSource) {
  assert(minSource <= target && target < kUnreached);
  Pass pass(database, target);
  // With minSource == target no source has cost 1; otherwise target - 1 >= minSource.
  return minSource == target ? pass.runFree() : pass.runStep();
}

bool buildDistanceTable(PatternDatabase& database, WorkerPool& workers, std::FILE* out) {
  assert(database.moveTable && database.countTable);
  Board scratch;
  database.distanceTable = allocateTable<std::uint8_t>(database.stateCount, workers);
  if (!database.distanceTable) {
    if (out != nullptr) std::fprintf(out, "Failed to allocate memory for data base.\n");
    return false;
  }
  setGoal(scratch);
  LevelBuild(database, workers).run(rankPlacement(scratch, database));
  database.countTable.reset();
  return true;
}

bool buildDistanceTable(PatternDatabase& database, std::FILE* out) {
  WorkerPool calling(1);
  return buildDistanceTable(database, calling, out);
}
