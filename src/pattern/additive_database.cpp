#include "pattern/additive_database.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cassert>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#include <type_traits>

#include "platform/hints.h"

// The build is a breadth-first search from the goal over (placement, blank cell), where a move
// of a pattern tile costs 1 and the blank's travel through cells the pattern leaves free costs
// nothing. A placement's free cells fall into components that the blank crosses for free, so a
// whole component is reached at once. Each state takes two bits: 3 while unreached, else a
// code of its level. Early levels push from the frontier, whose states are then marked done
// (code 0), so the frontier is exactly the states of the previous level's code; once the
// frontier is large, every unreached component instead looks for a neighbour of the previous
// level, which the level codes 1 and 2, alternating, tell apart from everything else an
// unreached state can border. All writes of one level store the same code into unreached
// states (or mark the owner's own sources done), with fetch_and, so they commute: the table
// is the same whatever the number of workers and their timing.

namespace {

constexpr unsigned kUnreachedCode = 3;
constexpr unsigned kDoneCode = 0;
constexpr std::uint8_t kNoDistance = 255;

// The code of the states of a level.
constexpr unsigned levelCode(unsigned level) {
  return level % 2 ? 1u : 2u;
}

constexpr unsigned kBoard = 0xffffu;

unsigned neighbours(unsigned cells) {
  return ((cells << 1) & 0xeeeeu) | ((cells >> 1) & 0x7777u) | ((cells << 4) & kBoard) |
         (cells >> 4);
}

// The free cells that the blank reaches from `seed` without moving a pattern tile.
unsigned componentOf(unsigned seed, unsigned freeCells) {
  unsigned reached = seed;
  for (;;) {
    const unsigned grown = (reached | neighbours(reached)) & freeCells;
    if (grown == reached) return reached;
    reached = grown;
  }
}

// Bit counts and bit gathers by table: the build runs on any x86-64, whose population count
// instruction is not guaranteed, and these are most of its arithmetic.
struct BitTables {
  std::uint8_t count[256];
  std::uint16_t spread[256];       // bit i to bit 2i
  std::uint8_t gather[256 * 256];  // [bits << 8 | mask]: the bits of `bits` under `mask`, packed
  BitTables() {
    for (unsigned x = 0; x < 256; ++x) {
      count[x] = static_cast<std::uint8_t>(std::popcount(x));
      spread[x] = 0;
      for (unsigned b = 0; b < 8; ++b)
        spread[x] |= static_cast<std::uint16_t>((x >> b & 1u) << 2 * b);
      for (unsigned mask = 0; mask < 256; ++mask) {
        unsigned packed = 0, position = 0;
        for (unsigned b = 0; b < 8; ++b) {
          if (mask >> b & 1u) packed |= (x >> b & 1u) << position++;
        }
        gather[x << 8 | mask] = static_cast<std::uint8_t>(packed);
      }
    }
  }
};
const BitTables& bitTables() {
  static const BitTables tables;
  return tables;
}

unsigned bitCount16(const BitTables& t, unsigned cells) {
  return t.count[cells & 0xffu] + t.count[cells >> 8];
}

unsigned rankOfCell(const BitTables& t, unsigned cell, unsigned freeCells) {
  return bitCount16(t, freeCells & ((1u << cell) - 1));
}

// The low bit of the slots (two bits each, slot r for the r-th free cell) of `cells`, which
// are free cells.
std::uint32_t slotsOfCells(const BitTables& t, unsigned cells, unsigned freeCells) {
  const unsigned low = t.gather[(cells & 0xffu) << 8 | (freeCells & 0xffu)];
  const unsigned high = t.gather[(cells >> 8) << 8 | freeCells >> 8];
  const unsigned ranks = low | high << t.count[freeCells & 0xffu];
  return t.spread[ranks & 0xffu] | static_cast<std::uint32_t>(t.spread[ranks >> 8]) << 16;
}

// Bit layout of the states: a placement's slots take 2 x (16 - tiles) bits, two placements to
// a 32-bit word when that fits.
template <int kTiles>
struct Shape {
  static constexpr int kSlots = kCells - kTiles;
  static constexpr std::uint32_t kPerWord = 2 * kSlots <= 16 ? 2 : 1;
  static constexpr std::uint64_t kPlacements = placementCount(kTiles);
  static constexpr std::uint64_t kWords = (kPlacements + kPerWord - 1) / kPerWord;
  // Placements share everything but the last tile's digit in runs of this many.
  static constexpr std::uint32_t kLastBase = kCells - (kTiles - 1);
  static constexpr std::uint64_t kPrefixes = kPlacements / kLastBase;
  static constexpr std::uint32_t kSlotBits =
      2 * kSlots == 32 ? 0xffffffffu : (1u << 2 * kSlots) - 1;
  static constexpr std::uint32_t kLowBits = 0x55555555u & kSlotBits;
  static constexpr auto weights() {
    std::array<std::uint32_t, kTiles> weight{};
    std::uint32_t w = 1;
    for (int k = kTiles - 1; k >= 0; --k) {
      weight[static_cast<std::size_t>(k)] = w;
      w *= static_cast<std::uint32_t>(kCells - k);
    }
    return weight;
  }
  static constexpr std::array<std::uint32_t, kTiles> kWeights = weights();
};

// The low bit of every slot of `bits` that holds `code`.
template <int kTiles>
std::uint32_t slotsWithCode(std::uint32_t bits, unsigned code) {
  constexpr std::uint32_t kLow = Shape<kTiles>::kLowBits;
  const std::uint32_t high = bits >> 1;
  switch (code) {
    case 0:
      return ~bits & ~high & kLow;
    case 1:
      return bits & ~high & kLow;
    case 2:
      return ~bits & high & kLow;
    default:
      return bits & high & kLow;
  }
}

// Pieces of this many prefixes (runs of placements) are handed to the workers one at a time.
constexpr std::uint64_t kPrefixesPerPiece = 1 << 12;
// How often the calling thread reports progress while it works.
constexpr auto kProgressEvery = std::chrono::milliseconds(200);

template <int kTiles>
class Builder {
  using S = Shape<kTiles>;

 public:
  Builder(std::atomic<std::uint32_t>* words, std::uint8_t* distances, WorkerPool& workers,
          const std::function<void(double)>& progress)
      : words_(words), distances_(distances), workers_(workers), progress_(progress) {}

  void run(const AdditivePattern& pattern) {
    for (int k = 0; k < kTiles; ++k)
      goalCells_[k] = pattern.tiles[k] - 1;
    initialise();
    const std::uint64_t totalStates = S::kPlacements * S::kSlots;
    std::uint64_t reached = seedGoal();
    std::uint64_t frontier = reached;
    bool pull = false;
    for (unsigned level = 1;; ++level) {
      // Pulling costs every unreached state a look at its neighbours, pushing every frontier
      // state its moves; the switch once the frontier outgrows the unreached states took the
      // fewest instructions on six tiles (callgrind), against earlier and later ones.
      const bool pullFromHere = !pull && frontier > totalStates - reached;
      if (pullFromHere) pull = true;
      const std::uint64_t added =
          scanLevel(level, pull, pullFromHere, reached, frontier, totalStates);
      if (failure_) std::rethrow_exception(failure_);
      if (added == 0) break;
      reached += added;
      frontier = added;
    }
    report(1.0);
  }

 private:
  void initialise() {
    const std::uint64_t pieces = (S::kWords + (1 << 20) - 1) >> 20;
    std::atomic<std::uint64_t> next{0};
    auto task = [&](unsigned) {
      for (;;) {
        const std::uint64_t piece = next.fetch_add(1, std::memory_order_relaxed);
        if (piece >= pieces) return;
        const std::uint64_t begin = piece << 20;
        const std::uint64_t end = std::min<std::uint64_t>(S::kWords, begin + (1 << 20));
        for (std::uint64_t w = begin; w < end; ++w)
          new (&words_[w]) std::atomic<std::uint32_t>(0xffffffffu);
        const std::uint64_t firstPlacement = begin * S::kPerWord;
        const std::uint64_t lastPlacement = std::min(S::kPlacements, end * S::kPerWord);
        std::fill(distances_ + firstPlacement, distances_ + lastPlacement, kNoDistance);
      }
    };
    workers_.run(task);
  }

  // Level 0: the goal placement with the blank anywhere the pattern lets it reach cell 15.
  std::uint64_t seedGoal() {
    const std::uint32_t index = rankCells(goalCells_, kTiles);
    unsigned taken = 0;
    for (int k = 0; k < kTiles; ++k)
      taken |= 1u << goalCells_[k];
    const unsigned freeCells = ~taken & kBoard;
    const unsigned component = componentOf(1u << (kCells - 1), freeCells);
    const std::uint32_t slots = slotsOfCells(bitTables(), component, freeCells);
    clear(index, slots * (kUnreachedCode ^ levelCode(0)));
    active_[1][index / kPlacementsPerPiece].store(1, std::memory_order_relaxed);
    return static_cast<std::uint64_t>(countBits16(component));
  }

  std::atomic<std::uint32_t>& wordOf(std::uint32_t index) { return words_[index / S::kPerWord]; }
  static unsigned shiftOf(std::uint32_t index) { return index % S::kPerWord * 16; }

  std::uint32_t bitsOf(std::uint32_t index) {
    return wordOf(index).load(std::memory_order_relaxed) >> shiftOf(index) & S::kSlotBits;
  }
  // Clears `bits` of the placement's slots; returns the slots' bits as they were.
  std::uint32_t clear(std::uint32_t index, std::uint32_t bits) {
    const unsigned shift = shiftOf(index);
    return wordOf(index).fetch_and(~(bits << shift), std::memory_order_relaxed) >> shift &
           S::kSlotBits;
  }

  // One level: finds every state of `level` from those of level - 1, and gives every
  // placement whose least level is level - 1 its distance. Returns the states found.
  std::uint64_t scanLevel(unsigned level, bool pull, bool everyPiece, std::uint64_t reached,
                          std::uint64_t frontier, std::uint64_t totalStates) {
    constexpr std::uint64_t pieces = kPieces;
    std::atomic<std::uint8_t>* const active = active_[level % 2].get();
    std::atomic<std::uint8_t>* const nextActive = active_[(level + 1) % 2].get();
    std::atomic<std::uint64_t> next{0};
    std::atomic<std::uint64_t> added{0};
    std::atomic<bool> failed{false};
    auto lastReport = std::chrono::steady_clock::now();
    auto task = [&](unsigned worker) {
      std::uint64_t found = 0;
      for (;;) {
        if (failed.load(std::memory_order_relaxed)) break;
        const std::uint64_t piece = next.fetch_add(1, std::memory_order_relaxed);
        if (piece >= pieces) break;
        if (!everyPiece && active[piece].load(std::memory_order_relaxed) == 0) continue;
        active[piece].store(0, std::memory_order_relaxed);
        const std::uint64_t begin = piece * kPrefixesPerPiece;
        const std::uint64_t end = std::min(S::kPrefixes, begin + kPrefixesPerPiece);
        if (pull) {
          const PieceResult result = scanPiece<true>(level, begin, end);
          found += result.found;
          // Only the owner writes a piece while pulling: it knows whether the next level
          // has work there.
          if (result.found + result.unresolved != 0) {
            nextActive[piece].store(1, std::memory_order_relaxed);
          }
        } else {
          found += scanPiece<false>(level, begin, end).found;
        }
        if (worker == 0 && progress_ &&
            std::chrono::steady_clock::now() - lastReport >= kProgressEvery) {
          lastReport = std::chrono::steady_clock::now();
          // The level is guessed to add as many states as the one before.
          const double doneShare = static_cast<double>(piece + 1) / static_cast<double>(pieces);
          const double estimate =
              static_cast<double>(reached) +
              doneShare * static_cast<double>(std::min(frontier, totalStates - reached));
          try {
            report(estimate / static_cast<double>(totalStates));
          } catch (...) {
            failure_ = std::current_exception();
            failed.store(true, std::memory_order_relaxed);
          }
        }
      }
      added.fetch_add(found, std::memory_order_relaxed);
    };
    workers_.run(task);
    return added.load();
  }

  void report(double share) {
    if (!progress_) return;
    share = std::clamp(share, reportedShare_, 1.0);
    reportedShare_ = share;
    progress_(share);
  }

  // A level's work on one piece, pipelined: each read of another placement's state is queued
  // with its address prefetched, and done a queue's length later, when the line has come.
  struct PieceResult {
    std::uint64_t found;       // states reached
    std::uint64_t unresolved;  // states still unreached that were looked at (pulling)
  };

  template <bool kPull>
  PieceResult scanPiece(unsigned level, std::uint64_t beginPrefix, std::uint64_t endPrefix) {
    const unsigned sourceCode = levelCode(level - 1);
    std::conditional_t<kPull, PullPipeline, PushPipeline> pipeline(
        *this, sourceCode, levelCode(level), active_[(level + 1) % 2].get());
    Placement placement;
    constexpr std::uint32_t kWideLow = S::kPerWord == 2 ? S::kLowBits * 0x10001u : S::kLowBits;
    for (std::uint64_t prefix = beginPrefix; prefix < endPrefix; ++prefix) {
      const std::uint32_t firstIndex = static_cast<std::uint32_t>(prefix * S::kLastBase);
      // Most runs have nothing to do in most levels: they are passed over on their words
      // alone (the words' other placements can only add work that finds nothing).
      std::uint32_t work = 0, sources = 0;
      const std::uint32_t lastWord = (firstIndex + S::kLastBase - 1) / S::kPerWord;
      for (std::uint32_t w = firstIndex / S::kPerWord; w <= lastWord; ++w) {
        const std::uint32_t bits = words_[w].load(std::memory_order_relaxed);
        const std::uint32_t high = bits >> 1;
        sources |= (sourceCode == 1 ? bits & ~high : ~bits & high) & kWideLow;
        if constexpr (kPull) work |= bits & high & kWideLow;
      }
      if constexpr (!kPull) work = sources;
      if (work == 0) {
        if (sources == 0) continue;
        bool unset = false;
        for (std::uint32_t k = 0; k < S::kLastBase; ++k)
          unset |= distances_[firstIndex + k] == kNoDistance;
        if (!unset) continue;
      }
      // The tiles but the last, from the prefix's digits.
      std::uint64_t rest = prefix;
      unsigned digits[kTiles];
      for (int k = kTiles - 2; k >= 0; --k) {
        const unsigned base = static_cast<unsigned>(kCells - k);
        digits[k] = static_cast<unsigned>(rest % base);
        rest /= base;
      }
      unsigned taken = 0;
      for (int k = 0; k < kTiles - 1; ++k) {
        placement.before[k] = taken;
        const int cell = freeCellOfRank(taken, digits[k]);
        taken |= 1u << cell;
        placement.tileAt[cell] = static_cast<std::uint8_t>(k);
        placement.weightAt[cell] = S::kWeights[static_cast<std::size_t>(k)];
      }
      placement.before[kTiles - 1] = taken;
      unsigned lastCells = ~taken & kBoard;
      for (std::uint32_t digit = 0; lastCells != 0; ++digit, lastCells &= lastCells - 1) {
        const std::uint32_t index = firstIndex + digit;
        const std::uint32_t bits = bitsOf(index);
        const std::uint32_t own = slotsWithCode<kTiles>(bits, sourceCode);
        if (own != 0 && distances_[index] == kNoDistance) {
          distances_[index] = static_cast<std::uint8_t>(level - 1);
        }
        if ((kPull ? slotsWithCode<kTiles>(bits, kUnreachedCode) : own) == 0) continue;
        // Entries of free cells are never read, so the last tile's need no undoing.
        const unsigned lastCell = static_cast<unsigned>(std::countr_zero(lastCells));
        placement.tileAt[lastCell] = kTiles - 1;
        placement.weightAt[lastCell] = 1;
        placement.index = index;
        placement.freeCells = ~(taken | 1u << lastCell) & kBoard;
        pipeline.placement(placement, bits);
      }
    }
    return pipeline.finish();
  }

  // A placement as the moves from it need it. Entries of free cells are stale.
  struct Placement {
    std::uint32_t index;
    unsigned freeCells;
    unsigned before[kTiles];         // the cells of the tiles before tile k
    std::uint8_t tileAt[kCells];     // which of the pattern's tiles stands there
    std::uint32_t weightAt[kCells];  // the weight of that tile's digit in the index
  };

  // The index after the pattern's tile at `from` moves to the free cell `to` next to it. Its
  // own digit changes by the cells it passes that the tiles before it leave free; a vertical
  // move also changes by one the digit of every later tile standing between the two cells.
  static std::uint32_t successor(const BitTables& t, const Placement& placement, unsigned from,
                                 unsigned to) {
    const unsigned tile = placement.tileAt[from];
    const std::uint32_t weight = placement.weightAt[from];
    if (to == from + 1) return placement.index + weight;
    if (to + 1 == from) return placement.index - weight;
    const unsigned low = std::min(from, to);
    const unsigned between = 7u << (low + 1);
    const unsigned taken = ~placement.freeCells & kBoard;
    std::uint32_t change = (kSide - bitCount16(t, placement.before[tile] & between)) * weight;
    for (unsigned later = between & taken & ~placement.before[tile]; later != 0;
         later &= later - 1) {
      change += placement.weightAt[std::countr_zero(later)];
    }
    return to > from ? placement.index + change : placement.index - change;
  }

  // Calls visit(component) for each component of the free cells whose states hold `code`.
  template <typename Visit>
  static void forEachComponent(const BitTables& t, unsigned freeCells, std::uint32_t bits,
                               unsigned code, Visit&& visit) {
    for (unsigned rest = freeCells; rest != 0;) {
      const unsigned seed = rest & (0u - rest);
      const unsigned component = componentOf(seed, freeCells);
      rest &= ~component;
      const unsigned seedCell = static_cast<unsigned>(std::countr_zero(seed));
      if ((bits >> 2 * rankOfCell(t, seedCell, freeCells) & 3u) == code) visit(component);
    }
  }

  // Calls visit(next, from, nextFree) for every move of a pattern tile next to `component`
  // into one of its cells: the index after the move, the cell the tile left (where the blank
  // now is) and the free cells after it.
  template <typename Visit>
  static void forEachMove(const BitTables& t, const Placement& placement, unsigned component,
                          Visit&& visit) {
    const unsigned freeCells = placement.freeCells;
    const unsigned taken = ~freeCells & kBoard;
    for (unsigned border = neighbours(component) & taken; border != 0; border &= border - 1) {
      const unsigned from = static_cast<unsigned>(std::countr_zero(border));
      for (unsigned targets = neighbours(1u << from) & component; targets != 0;
           targets &= targets - 1) {
        const unsigned to = static_cast<unsigned>(std::countr_zero(targets));
        visit(successor(t, placement, from, to), from, freeCells ^ (1u << from) ^ (1u << to));
      }
    }
  }

  // Reads of other placements in flight: a queue of kDepth operations, each done when
  // kDepth more have been queued after it.
  template <typename Operation, unsigned kDepth, typename Derived>
  class Queue {
   protected:
    // The operation to fill in next; the one it held before is done first.
    Operation& add() {
      Operation& operation = operations_[position_];
      if (filled_ == kDepth) {
        static_cast<Derived*>(this)->process(operation);
      } else {
        ++filled_;
      }
      position_ = (position_ + 1) % kDepth;
      return operation;
    }
    void drain() {
      for (unsigned k = 0; k < filled_; ++k)
        static_cast<Derived*>(this)->process(operations_[k]);
      filled_ = 0;
    }

   private:
    Operation operations_[kDepth];
    unsigned filled_ = 0;
    unsigned position_ = 0;
  };

  struct PushOperation {
    std::uint32_t next;
    std::uint16_t nextFree;
    std::uint8_t from;
  };

  // Pushing: every unreached neighbour of a source component gets the level's code; the
  // sources become done.
  class PushPipeline : public Queue<PushOperation, 32, PushPipeline> {
   public:
    PushPipeline(Builder& builder, unsigned sourceCode, unsigned targetCode,
                 std::atomic<std::uint8_t>* nextActive)
        : builder_(builder),
          t_(builder.bits_),
          nextActive_(nextActive),
          sourceCode_(sourceCode),
          targetCode_(targetCode) {}

    void placement(const Placement& placement, std::uint32_t bits) {
      std::uint32_t done = 0;
      forEachComponent(t_, placement.freeCells, bits, sourceCode_, [&](unsigned component) {
        forEachMove(t_, placement, component,
                    [&](std::uint32_t next, unsigned from, unsigned nextFree) {
                      platform::prefetch(&builder_.wordOf(next));
                      this->add() = {next, static_cast<std::uint16_t>(nextFree),
                                     static_cast<std::uint8_t>(from)};
                    });
        done |= slotsOfCells(t_, component, placement.freeCells) * (sourceCode_ ^ kDoneCode);
      });
      builder_.clear(placement.index, done);
    }

    PieceResult finish() {
      this->drain();
      return {found_, 0};
    }

    void process(const PushOperation& operation) {
      const unsigned slot = 2 * rankOfCell(t_, operation.from, operation.nextFree);
      if ((builder_.bitsOf(operation.next) >> slot & 3u) != kUnreachedCode) return;
      const unsigned component = componentOf(1u << operation.from, operation.nextFree);
      const std::uint32_t old =
          builder_.clear(operation.next, slotsOfCells(t_, component, operation.nextFree) *
                                             (kUnreachedCode ^ targetCode_));
      // Of the workers that write the same component, the first counts it.
      if ((old >> slot & 3u) == kUnreachedCode) {
        found_ += bitCount16(t_, component);
        nextActive_[operation.next / kPlacementsPerPiece].store(1, std::memory_order_relaxed);
      }
    }

   private:
    Builder& builder_;
    const BitTables& t_;
    std::atomic<std::uint8_t>* nextActive_;
    unsigned sourceCode_, targetCode_;
    std::uint64_t found_ = 0;
  };

  // At most 4 moves into each free cell of a component.
  static constexpr unsigned kMaxMoves = 4 * S::kSlots;

  struct PullOperation {
    std::uint32_t index;
    std::uint32_t clearBits;  // of the component's states, to give them the level's code
    std::uint32_t states;
    std::uint32_t moves;
    std::uint32_t next[kMaxMoves];
    std::uint8_t slot[kMaxMoves];
  };

  // Pulling: an unreached component gets the level's code when one of its neighbours holds
  // the previous level's. Only the placement's owner writes it.
  class PullPipeline : public Queue<PullOperation, 8, PullPipeline> {
   public:
    PullPipeline(Builder& builder, unsigned sourceCode, unsigned targetCode,
                 std::atomic<std::uint8_t>*)
        : builder_(builder), t_(builder.bits_), sourceCode_(sourceCode), targetCode_(targetCode) {}

    void placement(const Placement& placement, std::uint32_t bits) {
      forEachComponent(t_, placement.freeCells, bits, kUnreachedCode, [&](unsigned component) {
        PullOperation& operation = this->add();
        operation.index = placement.index;
        operation.clearBits =
            slotsOfCells(t_, component, placement.freeCells) * (kUnreachedCode ^ targetCode_);
        operation.states = bitCount16(t_, component);
        operation.moves = 0;
        forEachMove(t_, placement, component,
                    [&](std::uint32_t next, unsigned from, unsigned nextFree) {
                      platform::prefetch(&builder_.wordOf(next));
                      operation.next[operation.moves] = next;
                      operation.slot[operation.moves] =
                          static_cast<std::uint8_t>(2 * rankOfCell(t_, from, nextFree));
                      ++operation.moves;
                    });
      });
    }

    PieceResult finish() {
      this->drain();
      return {found_, unresolved_};
    }

    void process(const PullOperation& operation) {
      for (std::uint32_t m = 0; m < operation.moves; ++m) {
        if ((builder_.bitsOf(operation.next[m]) >> operation.slot[m] & 3u) == sourceCode_) {
          builder_.clear(operation.index, operation.clearBits);
          found_ += operation.states;
          return;
        }
      }
      unresolved_ += operation.states;
    }

   private:
    Builder& builder_;
    const BitTables& t_;
    unsigned sourceCode_, targetCode_;
    std::uint64_t found_ = 0;
    std::uint64_t unresolved_ = 0;
  };

  static constexpr std::uint64_t kPieces =
      (S::kPrefixes + kPrefixesPerPiece - 1) / kPrefixesPerPiece;
  static constexpr std::uint64_t kPlacementsPerPiece = kPrefixesPerPiece * S::kLastBase;

  const BitTables& bits_ = bitTables();
  // Per piece and level parity: whether the level has work there (1) or not (0).
  std::unique_ptr<std::atomic<std::uint8_t>[]> active_[2] = {
      std::make_unique<std::atomic<std::uint8_t>[]>(kPieces),
      std::make_unique<std::atomic<std::uint8_t>[]>(kPieces)};
  std::atomic<std::uint32_t>* words_;
  std::uint8_t* distances_;
  WorkerPool& workers_;
  const std::function<void(double)>& progress_;
  int goalCells_[kTiles] = {};
  double reportedShare_ = 0;
  std::exception_ptr failure_;
};

template <int kTiles>
AdditiveBuild build(const AdditivePattern& pattern, std::uint8_t* distances, WorkerPool& workers,
                    const std::function<void(double)>& progress) {
  using S = Shape<kTiles>;
  static_assert(S::kPlacements <= 0xffffffffu);
  struct Release {
    void operator()(void* memory) const noexcept { std::free(memory); }
  };
  std::unique_ptr<void, Release> memory(std::malloc(S::kWords * sizeof(std::uint32_t)));
  if (!memory) return AdditiveBuild::outOfMemory;
  static_assert(std::is_trivially_destructible_v<std::atomic<std::uint32_t>>);
  try {
    Builder<kTiles>(static_cast<std::atomic<std::uint32_t>*>(memory.get()), distances, workers,
                    progress)
        .run(pattern);
  } catch (const std::bad_alloc&) {
    return AdditiveBuild::outOfMemory;
  }
  return AdditiveBuild::built;
}

}  // namespace

AdditiveBuild buildAdditiveTable(const AdditivePattern& pattern, std::uint8_t* distances,
                                 WorkerPool& workers,
                                 const std::function<void(double share)>& progress) {
  switch (pattern.tileCount) {
    case 1:
      return build<1>(pattern, distances, workers, progress);
    case 2:
      return build<2>(pattern, distances, workers, progress);
    case 3:
      return build<3>(pattern, distances, workers, progress);
    case 4:
      return build<4>(pattern, distances, workers, progress);
    case 5:
      return build<5>(pattern, distances, workers, progress);
    case 6:
      return build<6>(pattern, distances, workers, progress);
    case 7:
      return build<7>(pattern, distances, workers, progress);
    default:
      assert(pattern.tileCount == kMaxAdditiveTiles);
      return build<8>(pattern, distances, workers, progress);
  }
}
