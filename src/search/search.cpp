#include "search/search.h"

#include <cassert>

#include "board/symmetry.h"

bool search(SearchContext& context, unsigned movesLeft, int forbidden, unsigned topLeftIndex,
            unsigned topRightIndex, unsigned bottomLeftIndex, unsigned bottomRightIndex) {
  assert(movesLeft <= kMaxBound);
  // 1. Count.
  ++context.nodeCount;

  // 2. Prune: the four databases share no tile, so their sum is admissible. It stays below 70.
  const std::uint8_t estimate = static_cast<std::uint8_t>(
      context.topLeftDistances[topRightIndex] + context.topLeftDistances[topLeftIndex] +
      context.topLeftDistances[bottomLeftIndex] + context.bottomRightDistances[bottomRightIndex]);
  if (estimate > movesLeft) return false;

  // 3. Goal: only the goal has estimate 0.
  if (movesLeft == 0) return true;

  // 4. Expand in the order U, D, L, R; a slide possible in the position is possible in every view.
  for (int direction = 0; direction < kDirections; ++direction) {
    if (direction == forbidden) continue;
    const std::int32_t next = context.topLeftMoves[topLeftIndex * kDirections + direction];
    if (next == -1) continue;
    const unsigned topRightNext =
        context.topLeftMoves[topRightIndex * kDirections + kMirrorLeftRightDirection[direction]];
    const unsigned bottomLeftNext =
        context.topLeftMoves[bottomLeftIndex * kDirections + kMirrorUpDownDirection[direction]];
    const unsigned bottomRightNext =
        context.bottomRightMoves[bottomRightIndex * kDirections + direction];
    if (search(context, movesLeft - 1, kOpposite[direction], static_cast<unsigned>(next),
               topRightNext, bottomLeftNext, bottomRightNext)) {
      context.path[movesLeft - 1] = static_cast<Direction>(direction);
      return true;
    }
  }
  return false;
}
