#include "search/search.h"

#include <bit>
#include <cassert>
#include <iterator>
#include <utility>

#include "board/symmetry.h"

namespace {

// Rows are 16 bytes: an entry shifted down past its distance byte is the byte offset of its
// successor's row.
constexpr unsigned kRowBytes = kDirections * sizeof(std::int32_t);
constexpr int kDistanceBits = 8;
static_assert(kRowBytes == 1u << (kSuccessorShift - kDistanceBits));
// The largest topLeft index survives the shift with the sign bit clear, apart from kNoMove.
static_assert(16u * 15 * 14 * 13 * 12 - 1 <= 0x7fffffffu >> kSuccessorShift);

// The directions tried at a node whose blank stands in kBlankCell.
template <int kBlankCell, int kForbidden>
constexpr unsigned childDirections() {
  unsigned mask = 0;
  for (int direction = 0; direction < kDirections; ++direction) {
    if (direction != kForbidden && canSlide(kBlankCell, direction)) mask |= 1u << direction;
  }
  return mask;
}

// The walk below the root. A node is the byte offsets of its four rows (three in the topLeft
// table, one in bottomRight) and its moves left. The blank's cell and the forbidden direction
// are template arguments: which slides exist is then known at compile time, every child test
// is a branch of its own for the predictor, and a call per node costs only what the node
// needs. The tables and the count live in statics so that all six argument registers carry
// the node; the count is kept per node rather than per child, and corrected on success for
// the children that the search would not have reached.
struct Walk {
  static inline const char* topLeftRows = nullptr;
  static inline const char* bottomRightRows = nullptr;
  static inline Direction* path = nullptr;
  static inline std::uint64_t nodes = 0;

  // Counts and tests the children of a node that passed its own test with movesLeft >= 1.
  template <int kBlankCell, int kForbidden>
  [[gnu::noinline]] static bool expand(unsigned topLeft, unsigned topRight, unsigned bottomLeft,
                                       unsigned bottomRight, unsigned movesLeft) {
    constexpr unsigned kChildren = childDirections<kBlankCell, kForbidden>();
    nodes += std::popcount(kChildren);
    const Rows rows = {reinterpret_cast<const std::int32_t*>(topLeftRows + topLeft),
                       reinterpret_cast<const std::int32_t*>(topLeftRows + topRight),
                       reinterpret_cast<const std::int32_t*>(topLeftRows + bottomLeft),
                       reinterpret_cast<const std::int32_t*>(bottomRightRows + bottomRight)};
    if (visit<kBlankCell, kForbidden, kUp>(rows, movesLeft)) return found<kChildren, kUp>();
    if (visit<kBlankCell, kForbidden, kDown>(rows, movesLeft)) return found<kChildren, kDown>();
    if (visit<kBlankCell, kForbidden, kLeft>(rows, movesLeft)) return found<kChildren, kLeft>();
    // Last, so a tail call: the deepest paths of the walk reuse one frame.
    return visit<kBlankCell, kForbidden, kRight>(rows, movesLeft);
  }

  struct Rows {
    const std::int32_t* topLeft;
    const std::int32_t* topRight;
    const std::int32_t* bottomLeft;
    const std::int32_t* bottomRight;
  };

  // The children after the one that led to the goal were counted but never reached.
  template <unsigned kChildren, int kDirection>
  static bool found() {
    nodes -= std::popcount(kChildren >> (kDirection + 1));
    return true;
  }

  // Tests one child from its parent's rows and searches below it when it passes.
  template <int kBlankCell, int kForbidden, int kDirection>
  [[gnu::always_inline]] static bool visit(const Rows& rows, unsigned movesLeft) {
    if constexpr (kDirection == kForbidden || !canSlide(kBlankCell, kDirection)) {
      return false;
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
      if (estimate > movesLeft - 1) return false;
      // Only the goal has estimate 0. Written on the way down, the path always holds the
      // moves to the current node, so success needs no bookkeeping on the way back.
      path[movesLeft - 1] = static_cast<Direction>(kDirection);
      if (movesLeft == 1) return true;
      return expand<kBlankCell + blankStep(kDirection), kOpposite[kDirection]>(
          topLeft >> kDistanceBits, topRight >> kDistanceBits, bottomLeft >> kDistanceBits,
          bottomRight >> kDistanceBits, movesLeft - 1);
    }
  }
};

using Expand = bool (*)(unsigned, unsigned, unsigned, unsigned, unsigned);

template <int kBlankCell>
constexpr Expand expandFor(int forbidden) {
  switch (forbidden) {
    case kUp:
      return &Walk::expand<kBlankCell, kUp>;
    case kDown:
      return &Walk::expand<kBlankCell, kDown>;
    case kLeft:
      return &Walk::expand<kBlankCell, kLeft>;
    case kRight:
      return &Walk::expand<kBlankCell, kRight>;
    default:
      return &Walk::expand<kBlankCell, kNoDirection>;
  }
}

template <int... kBlankCells>
Expand expandFor(int blankCell, int forbidden, std::integer_sequence<int, kBlankCells...>) {
  static constexpr Expand (*kByCell[])(int) = {&expandFor<kBlankCells>...};
  return kByCell[blankCell](forbidden);
}

}  // namespace

void prepareForSearch(PatternDatabase& database) {
  std::int32_t* entries = database.moveTable.get();
  const std::uint8_t* distances = database.distanceTable.get();
  const std::size_t size = std::size_t{database.stateCount} * kDirections;
  for (std::size_t i = 0; i < size; ++i) {
    const std::int32_t next = entries[i];
    // Branch-free: which slides exist follows the blank, in no pattern the predictor keeps.
    const unsigned successor = next == kNoMove ? 0u : static_cast<unsigned>(next);
    const std::int32_t entry =
        static_cast<std::int32_t>(successor << kSuccessorShift | distances[successor]);
    entries[i] = next == kNoMove ? kNoMove : entry;
  }
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
  // 4. Expand in the order U, D, L, R, never undoing the move into the node. The blank is the
  // last tracked tile of the topLeft placement.
  constexpr int kTopLeftTiles = static_cast<int>(std::size(kTopLeftPattern));
  int cells[kMaxPatternTiles];
  placementCells(topLeftIndex, kTopLeftTiles, cells);
  const Expand expand =
      expandFor(cells[kTopLeftTiles - 1], forbidden, std::make_integer_sequence<int, kCells>{});
  Walk::topLeftRows = reinterpret_cast<const char*>(context.topLeftMoves);
  Walk::bottomRightRows = reinterpret_cast<const char*>(context.bottomRightMoves);
  Walk::path = context.path;
  Walk::nodes = 0;
  const bool solved = expand(topLeftIndex * kRowBytes, topRightIndex * kRowBytes,
                             bottomLeftIndex * kRowBytes, bottomRightIndex * kRowBytes, movesLeft);
  context.nodeCount += Walk::nodes;
  return solved;
}
