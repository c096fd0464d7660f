#include "search/search.h"

#include <cassert>

#include "board/symmetry.h"

namespace {

// The four placement indices of a position: the top-left database index of the position and
// of its two mirrors, and the bottom-right database index.
struct Node {
  unsigned topLeft;
  unsigned topRight;
  unsigned bottomLeft;
  unsigned bottomRight;
};

// The successors of a node's four indices, by direction: rows of the move tables.
struct Rows {
  const std::int32_t* topLeft;
  const std::int32_t* topRight;
  const std::int32_t* bottomLeft;
  const std::int32_t* bottomRight;
};

// Walks return the nodes they counted, so the count stays in registers instead of a counter in
// memory bumped once per child; success is flagged in the top bit, which the sums keep.
inline constexpr std::uint64_t kFound = std::uint64_t{1} << 63;

// Levels of the tree handled by one call: fewer calls and prologues, and each grandchild test
// is a branch of its own, so the predictor also sees the direction of the move before.
inline constexpr int kLevelsPerCall = 2;

// One iteration's walk. The table pointers are copied out of the context so that the hot code
// reads them from registers.
struct Walk {
  const std::int32_t* topLeftMoves;
  const std::int32_t* bottomRightMoves;
  const std::uint8_t* topLeftDistances;
  const std::uint8_t* bottomRightDistances;
  Direction* path;

  // The additive estimate. The four views (the top-left database read for the position and its
  // two mirrors, and the bottom-right database) track disjoint tiles, so it never
  // overestimates; it is at most 18 + 18 + 18 + 15.
  unsigned estimate(const Node& node) const {
    return topLeftDistances[node.topRight] + topLeftDistances[node.topLeft] +
           topLeftDistances[node.bottomLeft] + bottomRightDistances[node.bottomRight];
  }

  // Searches below a node that passed its bound test, with movesLeft >= 1, and returns the
  // nodes counted there, with kFound on success. The direction that would undo the move into
  // the node is a template argument, so that every child's test is code of its own, with
  // constant directions, for the branch predictor.
  template <int kForbidden>
  [[gnu::noinline]] std::uint64_t expand(const Node& node, unsigned movesLeft) {
    return expandInline<kForbidden, kLevelsPerCall>(node, movesLeft);
  }

  template <int kForbidden, int kLevel>
  [[gnu::always_inline]] inline std::uint64_t expandInline(const Node& node, unsigned movesLeft) {
    const Rows rows = {topLeftMoves + node.topLeft * kDirections,
                       topLeftMoves + node.topRight * kDirections,
                       topLeftMoves + node.bottomLeft * kDirections,
                       bottomRightMoves + node.bottomRight * kDirections};
    std::uint64_t count = visit<kUp, kForbidden, kLevel>(rows, movesLeft);
    if (count & kFound) return count;
    count += visit<kDown, kForbidden, kLevel>(rows, movesLeft);
    if (count & kFound) return count;
    count += visit<kLeft, kForbidden, kLevel>(rows, movesLeft);
    if (count & kFound) return count;
    return count + visit<kRight, kForbidden, kLevel>(rows, movesLeft);
  }

  // Each child is counted and tested before any call, since most children are pruned at once.
  template <int kDirection, int kForbidden, int kLevel>
  [[gnu::always_inline]] inline std::uint64_t visit(const Rows& rows, unsigned movesLeft) {
    if (kDirection == kForbidden) return 0;
    // A slide possible in the position is possible in every view, so one entry tells.
    const std::int32_t next = rows.topLeft[kDirection];
    if (next < 0) return 0;
    const Node child = {static_cast<unsigned>(next),
                        static_cast<unsigned>(rows.topRight[kMirrorLeftRightDirection[kDirection]]),
                        static_cast<unsigned>(rows.bottomLeft[kMirrorUpDownDirection[kDirection]]),
                        static_cast<unsigned>(rows.bottomRight[kDirection])};
    // A child that passes needs its rows at once; start loading them with its test.
    __builtin_prefetch(topLeftMoves + child.topLeft * kDirections);
    __builtin_prefetch(topLeftMoves + child.topRight * kDirections);
    __builtin_prefetch(topLeftMoves + child.bottomLeft * kDirections);
    const unsigned childMovesLeft = movesLeft - 1;
    if (estimate(child) > childMovesLeft) return 1;
    std::uint64_t below = 0;
    // Only the goal has estimate 0, so a child with no moves left that passed is the goal.
    if (childMovesLeft == 0) {
      below = kFound;
    } else if constexpr (kLevel > 1) {
      below = expandInline<kOpposite[kDirection], kLevel - 1>(child, childMovesLeft);
    } else {
      below = expand<kOpposite[kDirection]>(child, childMovesLeft);
    }
    if (__builtin_expect((below & kFound) != 0, 0)) {
      path[childMovesLeft] = static_cast<Direction>(kDirection);
    }
    return below + 1;
  }
};

}  // namespace

bool search(SearchContext& context, unsigned movesLeft, int forbidden, unsigned topLeftIndex,
            unsigned topRightIndex, unsigned bottomLeftIndex, unsigned bottomRightIndex) {
  assert(movesLeft <= kMaxBound);
  Walk walk = {context.topLeftMoves, context.bottomRightMoves, context.topLeftDistances,
               context.bottomRightDistances, context.path};
  const Node root = {topLeftIndex, topRightIndex, bottomLeftIndex, bottomRightIndex};
  // 1. Count: every node counts, including those pruned at once.
  ++context.nodeCount;
  // 2. Prune.
  if (walk.estimate(root) > movesLeft) return false;
  // 3. Goal: only the goal has estimate 0.
  if (movesLeft == 0) return true;
  // 4. Expand in the order U, D, L, R, never undoing the move into the node.
  std::uint64_t result = 0;
  switch (forbidden) {
    case kUp:
      result = walk.expand<kUp>(root, movesLeft);
      break;
    case kDown:
      result = walk.expand<kDown>(root, movesLeft);
      break;
    case kLeft:
      result = walk.expand<kLeft>(root, movesLeft);
      break;
    case kRight:
      result = walk.expand<kRight>(root, movesLeft);
      break;
    default:
      result = walk.expand<kNoDirection>(root, movesLeft);
      break;
  }
  context.nodeCount += result & ~kFound;
  return (result & kFound) != 0;
}
