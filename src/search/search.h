// One iteration of iterative deepening: a depth-first search over the four placement indices
// of a position, bounded by the moves left and pruned by the additive database heuristic.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/board.h"
#include "parallel/worker_pool.h"
#include "pattern/pattern_database.h"

// Solutions longer than this are not searched for; every position needs at most 80 moves.
inline constexpr unsigned kMaxBound = 99;
// `forbidden` value at the root, where no move can be undone.
inline constexpr int kNoDirection = 99;

// The search reads the move tables in a layout of its own, written over them in place by
// prepareForSearch: a possible slide's entry holds the successor index shifted left by
// kSuccessorShift and the successor's distance in the low byte, so that one read gives both
// the next row and that view's term of the child's estimate. Rows are 16 bytes, so entry >> 8
// is the byte offset of the successor's row. Impossible slides keep kNoMove.
inline constexpr int kSuccessorShift = 12;

inline unsigned successorOf(std::int32_t searchEntry) {
  return static_cast<unsigned>(searchEntry) >> kSuccessorShift;
}
inline unsigned distanceOf(std::int32_t searchEntry) {
  return static_cast<unsigned>(searchEntry) & 0xffu;
}

// Rewrites a built database's move table (its distance table built too) into the search
// layout on all of `workers` and sets searchLayout. Its entries are no longer plain indices
// afterwards; nothing is allocated. A database already in the search layout is left as it is.
void prepareForSearch(PatternDatabase& database, WorkerPool& workers);

// The same on the calling thread alone.
void prepareForSearch(PatternDatabase& database);

struct SearchContext {
  // Borrowed from the two databases, which outlive every search; never freed here. The move
  // tables are in the search layout.
  const std::int32_t* topLeftMoves = nullptr;
  const std::int32_t* bottomRightMoves = nullptr;
  const std::uint8_t* topLeftDistances = nullptr;
  const std::uint8_t* bottomRightDistances = nullptr;
  // Calls of search since the last reset; 64 bits, as hard positions exceed 2^32 per bound.
  std::uint64_t nodeCount = 0;
  // path[k] is the direction taken at the node that had k + 1 moves left.
  Direction path[kMaxBound + 1] = {};
};

// A node as the walk carries it: the byte offsets of its rows in the move tables (index x 16;
// three views in topLeft, one in bottomRight), its moves left, the blank's cell and the
// direction that would undo the move into it (kNoDirection at the root).
struct WalkNode {
  std::uint32_t topLeftRow, topRightRow, bottomLeftRow, bottomRightRow;
  std::uint8_t movesLeft;
  std::uint8_t blankCell;
  std::uint8_t forbidden;
};

// The node of a position's four indices.
WalkNode rootNode(unsigned topLeftIndex, unsigned topRightIndex, unsigned bottomLeftIndex,
                  unsigned bottomRightIndex, unsigned movesLeft, int forbidden);

// The child of `node` in `direction` and its estimate, read from the node's rows as the walk
// reads them. False when the slide is off the edge or undoes the move into the node.
bool childOf(const SearchContext& context, const WalkNode& node, int direction, WalkNode& child,
             unsigned& estimate);

enum class WalkResult { kExhausted, kSolved, kAbandoned };

// Counts and searches the children of `node`, a node that passed its own test with at least
// one move left, in the order and with the counts of search. Adds the nodes below `node` to
// `nodes` (up to the goal when solved) and writes the moves to path[0 .. movesLeft - 1], the
// first move last. With `abandonAfter`, gives up with kAbandoned soon after it drops below
// `unit`; the count and path are then partial. Walks on different threads may run at once.
WalkResult walkBelow(const SearchContext& context, const WalkNode& node, Direction* path,
                     std::uint64_t& nodes, const std::atomic<std::int64_t>* abandonAfter = nullptr,
                     std::int64_t unit = 0);

// True when exactly `movesLeft` moves (at most kMaxBound) lead from this node to the goal; the
// moves are then in path[0 .. movesLeft - 1], the first move last (on failure the path holds
// scratch). topRightIndex and
// bottomLeftIndex are the top-left database indices of the left-right and up-down mirrors.
// `forbidden` is the direction that would undo the move into this node, or kNoDirection.
// Every node counts, pruned ones included, as if search were called once per node. Threads
// may search at once, each with a context of its own.
bool search(SearchContext& context, unsigned movesLeft, int forbidden, unsigned topLeftIndex,
            unsigned topRightIndex, unsigned bottomLeftIndex, unsigned bottomRightIndex);
