#include "search/search.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <iterator>
#include <utility>

#include "board/symmetry.h"
#include "platform/hints.h"

namespace {

// Rows are 16 bytes: an entry shifted down past its distance byte is the byte offset of its
// successor's row.
constexpr unsigned kRowBytes = kDirections * sizeof(std::int32_t);
constexpr int kDistanceBits = 8;
static_assert(kRowBytes == 1u << (kSuccessorShift - kDistanceBits));
// The largest topLeft index survives the shift with the sign bit clear, apart from kNoMove.
static_assert(16u * 15 * 14 * 13 * 12 - 1 <= 0x7fffffffu >> kSuccessorShift);

// The levels of a walk's tree, from its top, whose nodes ask whether it is abandoned. Below
// them the subtrees are about a hundredth of the walk's work, so an abandoned walk still stops
// soon; with ten levels the questions cost a split bound 2% more instructions (callgrind).
constexpr unsigned kWatchedLevels = 6;

// The directions tried at a node whose blank stands in kBlankCell.
template <int kBlankCell, int kForbidden>
constexpr unsigned childDirections() {
  unsigned mask = 0;
  for (int direction = 0; direction < kDirections; ++direction) {
    if (direction != kForbidden && canSlide(kBlankCell, direction)) mask |= 1u << direction;
  }
  return mask;
}

// What a walk has counted so far, with kStop set once it has reached the goal or been
// abandoned: every caller on the way up then returns at once.
using Tally = std::uint64_t;
constexpr Tally kStop = Tally{1} << 63;

// The walk below the root. A node is the byte offsets of its four rows (three in the topLeft
// table, one in bottomRight) and its moves left. The blank's cell and the forbidden direction
// are template arguments: which slides exist is then known at compile time, every child test
// is a branch of its own for the predictor, and a call per node costs only what the node
// needs. The count travels through the calls as the tally, in registers; it is kept per node
// rather than per child, and corrected on success for the children that the search would not
// have reached. The tables and the path are thread-local, one set per worker. A walk that may
// be abandoned asks whether it is at each node of its top levels (kWatched), and below them
// runs the same code as one that may not.
struct Walk {
  static inline thread_local const char* topLeftRows = nullptr;
  static inline thread_local const char* bottomRightRows = nullptr;
  static inline thread_local Direction path[kMaxBound + 1] = {};
  // The walk gives up once *abandonAfter drops below its unit.
  static inline thread_local const std::atomic<std::int64_t>* abandonAfter = nullptr;
  static inline thread_local std::int64_t unit = 0;
  static inline thread_local bool abandoned = false;
  // Nodes with more moves left than this are in the watched levels.
  static inline thread_local unsigned watchedAbove = 0;

  // Counts and tests the children of a node that passed its own test with movesLeft >= 1.
  template <int kBlankCell, int kForbidden, bool kWatched>
  ZELVAR_NOINLINE static Tally expand(unsigned topLeft, unsigned topRight, unsigned bottomLeft,
                                      unsigned bottomRight, unsigned movesLeft, Tally tally) {
    constexpr unsigned kChildren = childDirections<kBlankCell, kForbidden>();
    tally += std::popcount(kChildren);
    const Rows rows = {reinterpret_cast<const std::int32_t*>(topLeftRows + topLeft),
                       reinterpret_cast<const std::int32_t*>(topLeftRows + topRight),
                       reinterpret_cast<const std::int32_t*>(topLeftRows + bottomLeft),
                       reinterpret_cast<const std::int32_t*>(bottomRightRows + bottomRight)};
    tally = visit<kBlankCell, kForbidden, kWatched, kUp>(rows, movesLeft, tally);
    if (tally & kStop) return stopped<kChildren, kUp>(tally);
    tally = visit<kBlankCell, kForbidden, kWatched, kDown>(rows, movesLeft, tally);
    if (tally & kStop) return stopped<kChildren, kDown>(tally);
    tally = visit<kBlankCell, kForbidden, kWatched, kLeft>(rows, movesLeft, tally);
    if (tally & kStop) return stopped<kChildren, kLeft>(tally);
    // Last, so a tail call: the deepest paths of the walk reuse one frame.
    return visit<kBlankCell, kForbidden, kWatched, kRight>(rows, movesLeft, tally);
  }

  struct Rows {
    const std::int32_t* topLeft;
    const std::int32_t* topRight;
    const std::int32_t* bottomLeft;
    const std::int32_t* bottomRight;
  };

  // The children after the one that led to the goal were counted but never reached.
  template <unsigned kChildren, int kDirection>
  static Tally stopped(Tally tally) {
    return tally - std::popcount(kChildren >> (kDirection + 1));
  }

  // Unwinds like a success; walkBelow tells them apart.
  ZELVAR_NOINLINE static bool abandonNow() {
    if (unit <= abandonAfter->load(std::memory_order_relaxed)) return false;
    abandoned = true;
    return true;
  }

  // Tests one child from its parent's rows and searches below it when it passes.
  template <int kBlankCell, int kForbidden, bool kWatched, int kDirection>
  ZELVAR_ALWAYS_INLINE static Tally visit(const Rows& rows, unsigned movesLeft, Tally tally) {
    if constexpr (kDirection == kForbidden || !canSlide(kBlankCell, kDirection)) {
      return tally;
    } else {
      const unsigned topLeft = static_cast<unsigned>(rows.topLeft[kDirection]);
      const unsigned topRight =
          static_cast<unsigned>(rows.topRight[kMirrorLeftRightDirection[kDirection]]);
      const unsigned bottomLeft =
          static_cast<unsigned>(rows.bottomLeft[kMirrorUpDownDirection[kDirection]]);
      const unsigned bottomRight = static_cast<unsigned>(rows.bottomRight[kDirection]);
      // The low bytes are the four distances; their sum (at most 69) cannot carry out.
      const unsigned estimate =
          static_cast<std::uint8_t>(topLeft + topRight + bottomLeft + bottomRight);
      if (estimate > movesLeft - 1) return tally;
      // Only the goal has estimate 0. Written on the way down, the path always holds the
      // moves to the current node, so success needs no bookkeeping on the way back.
      path[movesLeft - 1] = static_cast<Direction>(kDirection);
      if (movesLeft == 1) return tally | kStop;
      constexpr int kCell = kBlankCell + blankStep(kDirection);
      constexpr int kBack = kOpposite[kDirection];
      if constexpr (kWatched) {
        if (abandonNow()) return tally | kStop;
        if (movesLeft - 1 <= watchedAbove) {
          return expand<kCell, kBack, false>(topLeft >> kDistanceBits, topRight >> kDistanceBits,
                                             bottomLeft >> kDistanceBits,
                                             bottomRight >> kDistanceBits, movesLeft - 1, tally);
        }
      }
      return expand<kCell, kBack, kWatched>(topLeft >> kDistanceBits, topRight >> kDistanceBits,
                                            bottomLeft >> kDistanceBits,
                                            bottomRight >> kDistanceBits, movesLeft - 1, tally);
    }
  }
};

using Expand = Tally (*)(unsigned, unsigned, unsigned, unsigned, unsigned, Tally);

template <bool kWatched, int kBlankCell>
constexpr Expand expandFor(int forbidden) {
  switch (forbidden) {
    case kUp:
      return &Walk::expand<kBlankCell, kUp, kWatched>;
    case kDown:
      return &Walk::expand<kBlankCell, kDown, kWatched>;
    case kLeft:
      return &Walk::expand<kBlankCell, kLeft, kWatched>;
    case kRight:
      return &Walk::expand<kBlankCell, kRight, kWatched>;
    default:
      return &Walk::expand<kBlankCell, kNoDirection, kWatched>;
  }
}

template <bool kWatched, int... kBlankCells>
Expand expandFor(int blankCell, int forbidden, std::integer_sequence<int, kBlankCells...>) {
  static constexpr Expand (*kByCell[])(int) = {&expandFor<kWatched, kBlankCells>...};
  return kByCell[blankCell](forbidden);
}

// Move-table entries per piece of the rewrite: 256 kB, many pieces per worker for topLeft.
constexpr std::size_t kEntriesPerPiece = 1 << 16;

// Rewrites the move-table entries from `entry` to `end` into the search layout.
void rewriteForSearch(std::int32_t* entry, std::int32_t* end, const std::uint8_t* distances) {
  for (; entry != end; ++entry) {
    const std::int32_t next = *entry;
    // Branch-free: which slides exist follows the blank, in no pattern the predictor keeps.
    const unsigned successor = next == kNoMove ? 0u : static_cast<unsigned>(next);
    const std::int32_t rewritten =
        static_cast<std::int32_t>(successor << kSuccessorShift | distances[successor]);
    *entry = next == kNoMove ? kNoMove : rewritten;
  }
}

}  // namespace

void prepareForSearch(PatternDatabase& database, WorkerPool& workers) {
  // Entries of the search layout read as indices would lead far past the distance table.
  if (database.searchLayout) return;
  assert(database.moveTable && database.distanceTable);
  database.searchLayout = true;
  std::int32_t* const entries = database.moveTable.get();
  const std::uint8_t* const distances = database.distanceTable.get();
  // Each entry is rewritten from itself and the distance table alone.
  forEachPiece(workers, std::size_t{database.stateCount} * kDirections, kEntriesPerPiece,
               [entries, distances](std::size_t begin, std::size_t end) {
                 rewriteForSearch(entries + begin, entries + end, distances);
               });
}

void prepareForSearch(PatternDatabase& database) {
  WorkerPool calling(1);
  prepareForSearch(database, calling);
}

WalkNode rootNode(unsigned topLeftIndex, unsigned topRightIndex, unsigned bottomLeftIndex,
                  unsigned bottomRightIndex, unsigned movesLeft, int forbidden) {
  // The blank is the last tracked tile of the topLeft placement.
  constexpr int kTopLeftTiles = static_cast<int>(std::size(kTopLeftPattern));
  int cells[kMaxPatternTiles];
  placementCells(topLeftIndex, kTopLeftTiles, cells);
  return {topLeftIndex * kRowBytes,
          topRightIndex * kRowBytes,
          bottomLeftIndex * kRowBytes,
          bottomRightIndex * kRowBytes,
          static_cast<std::uint8_t>(movesLeft),
          static_cast<std::uint8_t>(cells[kTopLeftTiles - 1]),
          static_cast<std::uint8_t>(forbidden)};
}

bool childOf(const SearchContext& context, const WalkNode& node, int direction, WalkNode& child,
             unsigned& estimate) {
  if (direction == node.forbidden || !canSlide(node.blankCell, direction)) return false;
  const auto entry = [](const std::int32_t* table, std::uint32_t row, int column) {
    return table[row / kRowBytes * kDirections + column];
  };
  const std::int32_t topLeft = entry(context.topLeftMoves, node.topLeftRow, direction);
  const std::int32_t topRight =
      entry(context.topLeftMoves, node.topRightRow, kMirrorLeftRightDirection[direction]);
  const std::int32_t bottomLeft =
      entry(context.topLeftMoves, node.bottomLeftRow, kMirrorUpDownDirection[direction]);
  const std::int32_t bottomRight = entry(context.bottomRightMoves, node.bottomRightRow, direction);
  estimate =
      distanceOf(topLeft) + distanceOf(topRight) + distanceOf(bottomLeft) + distanceOf(bottomRight);
  child = {successorOf(topLeft) * kRowBytes,
           successorOf(topRight) * kRowBytes,
           successorOf(bottomLeft) * kRowBytes,
           successorOf(bottomRight) * kRowBytes,
           static_cast<std::uint8_t>(node.movesLeft - 1),
           static_cast<std::uint8_t>(node.blankCell + blankStep(direction)),
           static_cast<std::uint8_t>(kOpposite[direction])};
  return true;
}

WalkResult walkBelow(const SearchContext& context, const WalkNode& node, Direction* path,
                     std::uint64_t& nodes, const std::atomic<std::int64_t>* abandonAfter,
                     std::int64_t unit) {
  assert(node.movesLeft >= 1 && node.movesLeft <= kMaxBound && node.blankCell < kCells);
  constexpr auto kCellSequence = std::make_integer_sequence<int, kCells>{};
  const Expand expand = abandonAfter == nullptr
                            ? expandFor<false>(node.blankCell, node.forbidden, kCellSequence)
                            : expandFor<true>(node.blankCell, node.forbidden, kCellSequence);
  Walk::topLeftRows = reinterpret_cast<const char*>(context.topLeftMoves);
  Walk::bottomRightRows = reinterpret_cast<const char*>(context.bottomRightMoves);
  Walk::abandonAfter = abandonAfter;
  Walk::unit = unit;
  Walk::abandoned = false;
  Walk::watchedAbove = node.movesLeft > kWatchedLevels ? node.movesLeft - kWatchedLevels : 0;
  const Tally tally = expand(node.topLeftRow, node.topRightRow, node.bottomLeftRow,
                             node.bottomRightRow, node.movesLeft, 0);
  nodes += tally & ~kStop;
  std::copy_n(Walk::path, node.movesLeft, path);
  if (Walk::abandoned) return WalkResult::kAbandoned;
  return tally & kStop ? WalkResult::kSolved : WalkResult::kExhausted;
}

bool search(SearchContext& context, unsigned movesLeft, int forbidden, unsigned topLeftIndex,
            unsigned topRightIndex, unsigned bottomLeftIndex, unsigned bottomRightIndex) {
  assert(movesLeft <= kMaxBound);
  // 1. Count: every node counts, including those pruned at once.
  ++context.nodeCount;
  // 2. Prune. The children are tested from the rows; the root reads the distance tables.
  const unsigned estimate =
      context.topLeftDistances[topRightIndex] + context.topLeftDistances[topLeftIndex] +
      context.topLeftDistances[bottomLeftIndex] + context.bottomRightDistances[bottomRightIndex];
  if (estimate > movesLeft) return false;
  // 3. Goal: only the goal has estimate 0.
  if (movesLeft == 0) return true;
  // 4. Expand in the order U, D, L, R, never undoing the move into the node.
  const WalkNode root = rootNode(topLeftIndex, topRightIndex, bottomLeftIndex, bottomRightIndex,
                                 movesLeft, forbidden);
  return walkBelow(context, root, context.path, context.nodeCount) == WalkResult::kSolved;
}
