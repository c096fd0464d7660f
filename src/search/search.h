// One iteration of iterative deepening: a depth-first search over the four placement indices
// of a position, bounded by the moves left and pruned by the additive database heuristic.
#pragma once

#include <cstdint>

#include "board/board.h"

// Solutions longer than this are not searched for; every position needs at most 80 moves.
inline constexpr unsigned kMaxBound = 99;
// `forbidden` value at the root, where no move can be undone.
inline constexpr int kNoDirection = 99;

struct SearchContext {
  // Borrowed from the two databases, which outlive every search; never freed here.
  const std::int32_t* topLeftMoves = nullptr;
  const std::int32_t* bottomRightMoves = nullptr;
  const std::uint8_t* topLeftDistances = nullptr;
  const std::uint8_t* bottomRightDistances = nullptr;
  // Calls of search since the last reset; 64 bits, as hard positions exceed 2^32 per bound.
  std::uint64_t nodeCount = 0;
  // path[k] is the direction taken at the node that had k + 1 moves left.
  Direction path[kMaxBound + 1] = {};
};

// True when exactly `movesLeft` moves (at most kMaxBound) lead from this node to the goal; the
// moves are then in path[0 .. movesLeft - 1], the first move last. topRightIndex and
// bottomLeftIndex are the top-left database indices of the left-right and up-down mirrors.
// `forbidden` is the direction that would undo the move into this node, or kNoDirection.
// Every call counts one node, pruned ones included.
bool search(SearchContext& context, unsigned movesLeft, int forbidden, unsigned topLeftIndex,
            unsigned topRightIndex, unsigned bottomLeftIndex, unsigned bottomRightIndex);
