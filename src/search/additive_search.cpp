#include "search/additive_search.h"

#include <algorithm>
#include <array>
#include <cassert>

#include "pattern/additive_database.h"
#include "platform/hints.h"

namespace {

constexpr int kOrientations = 2;  // the position, its reflection

// A tile's place in its orientation's index: which pattern, and its digit's weight.
struct TileDigit {
  std::uint8_t pattern;
  std::uint8_t order;  // the digit's place, the first the most significant
  std::uint32_t weight;
};

constexpr std::uint32_t digitWeight(int tileCount, int order) {
  std::uint32_t weight = 1;
  for (int k = tileCount - 1; k > order; --k)
    weight *= static_cast<std::uint32_t>(kCells - k);
  return weight;
}

// [orientation][tile as the position numbers it]
constexpr auto kTileDigits = [] {
  std::array<std::array<TileDigit, kCells>, kOrientations> digits{};
  for (int orientation = 0; orientation < kOrientations; ++orientation) {
    for (int tile = 1; tile < kCells; ++tile) {
      const int label = orientation == 0 ? tile : kReflectedTile[tile];
      const bool eight = label <= kEightTiles.tileCount;
      const int order = eight ? label - 1 : label - 1 - kEightTiles.tileCount;
      digits[orientation][tile] = {
          static_cast<std::uint8_t>(eight ? 0 : 1), static_cast<std::uint8_t>(order),
          digitWeight(eight ? kEightTiles.tileCount : kSevenTiles.tileCount, order)};
    }
  }
  return digits;
}();

// A move of the tile next to the blank, as each orientation sees it: a horizontal step there
// changes the tile's digit by one; a vertical one by four less the cells between that the tiles
// before it hold, and the digit of every later tile between by one.
struct MoveShape {
  bool valid;
  std::uint8_t from;  // the moved tile's cell; the blank's afterwards
  bool vertical[kOrientations];
  bool forward[kOrientations];                     // toward higher cells in that orientation
  std::uint8_t between[kOrientations][kSide - 1];  // real cells between, when vertical
};

// [blank cell][direction]
constexpr auto kMoveShapes = [] {
  std::array<std::array<MoveShape, kDirections>, kCells> shapes{};
  for (int blank = 0; blank < kCells; ++blank) {
    for (int direction = 0; direction < kDirections; ++direction) {
      MoveShape& shape = shapes[blank][direction];
      shape.valid = canSlide(blank, direction);
      if (!shape.valid) continue;
      const int from = blank + blankStep(direction);
      shape.from = static_cast<std::uint8_t>(from);
      for (int orientation = 0; orientation < kOrientations; ++orientation) {
        const int x = orientation == 0 ? from : kReflectedCell[from];
        const int y = orientation == 0 ? blank : kReflectedCell[blank];
        shape.forward[orientation] = y > x;
        shape.vertical[orientation] = y - x == kSide || x - y == kSide;
        const int low = x < y ? x : y;
        for (int k = 0; k < kSide - 1; ++k) {
          const int cell = low + 1 + k;
          shape.between[orientation][k] =
              static_cast<std::uint8_t>(orientation == 0 ? cell : kReflectedCell[cell & 15]);
        }
      }
    }
  }
  return shapes;
}();

// How often, in nodes, the observer is asked whether to stop.
constexpr std::uint64_t kPollMask = (1u << 14) - 1;

// The indices after the move `shape` from the node of `tileAt` and `indices`.
AdditiveSearch::Indices childIndices(const std::uint8_t* tileAt,
                                     const AdditiveSearch::Indices& indices,
                                     const MoveShape& shape) {
  AdditiveSearch::Indices child = indices;
  const unsigned tile = tileAt[shape.from];
  for (int orientation = 0; orientation < kOrientations; ++orientation) {
    const TileDigit& digit = kTileDigits[orientation][tile];
    std::uint32_t change = digit.weight;
    if (shape.vertical[orientation]) {
      change *= kSide;
      for (std::uint8_t cell : shape.between[orientation]) {
        const unsigned other = tileAt[cell];
        if (other == kBlank) continue;
        const TileDigit& otherDigit = kTileDigits[orientation][other];
        if (otherDigit.pattern != digit.pattern) continue;
        change += otherDigit.order > digit.order ? otherDigit.weight : 0u - digit.weight;
      }
    }
    std::uint32_t& index = child[orientation][digit.pattern];
    index = shape.forward[orientation] ? index + change : index - change;
  }
  return child;
}

}  // namespace

AdditiveSearch::AdditiveSearch(const AdditiveTables& tables, const Board& position)
    : eight_(tables.eight), seven_(tables.seven) {
  for (int cell = 0; cell < kCells; ++cell) {
    tileAt_[cell] = position.tiles[static_cast<std::size_t>(cell)];
    if (tileAt_[cell] == kBlank) blank_ = static_cast<unsigned>(cell);
  }
  for (int orientation = 0; orientation < kOrientations; ++orientation) {
    std::uint8_t eightCells[kMaxAdditiveTiles], sevenCells[kMaxAdditiveTiles];
    for (int cell = 0; cell < kCells; ++cell) {
      const int tile = tileAt_[cell];
      if (tile == kBlank) continue;
      const TileDigit& digit = kTileDigits[orientation][tile];
      const int seen = orientation == 0 ? cell : kReflectedCell[cell];
      (digit.pattern == 0 ? eightCells : sevenCells)[digit.order] = static_cast<std::uint8_t>(seen);
    }
    indices_[orientation][0] = rankCells(eightCells, kEightTiles.tileCount);
    indices_[orientation][1] = rankCells(sevenCells, kSevenTiles.tileCount);
  }
}

AdditiveEstimate AdditiveSearch::estimate() const {
  return {seven_[indices_[0][1]], eight_[indices_[0][0]], seven_[indices_[1][1]],
          eight_[indices_[1][0]]};
}

bool AdditiveSearch::runBound(unsigned bound, AdditiveObserver* observer) {
  assert(bound <= kMaxBound);
  observer_ = observer;
  nodes_ = 0;
  stopped_ = false;
  // 1. Count. 2. Prune. 3. Goal: only the goal has estimate 0.
  ++nodes_;
  if (estimate().value() > bound) return false;
  if (bound == 0) return true;
  return expand(bound, kNoDirection) && !stopped_;
}

// Counts and searches the children of a node that passed its test with movesLeft >= 1.
bool AdditiveSearch::expand(unsigned movesLeft, int forbidden) {
  assert(movesLeft >= 1 && movesLeft <= kMaxBound);
  // Every child's entries are asked for before the first is read.
  Indices children[kDirections];
  int directions[kDirections];
  int count = 0;
  for (int direction = 0; direction < kDirections; ++direction) {
    const MoveShape& shape = kMoveShapes[blank_][direction];
    if (direction == forbidden || !shape.valid) continue;
    children[count] = childIndices(tileAt_, indices_, shape);
    directions[count] = direction;
    for (int orientation = 0; orientation < kOrientations; ++orientation) {
      platform::prefetch(eight_ + children[count][orientation][0]);
      platform::prefetch(seven_ + children[count][orientation][1]);
    }
    ++count;
  }
  const unsigned childMoves = movesLeft - 1;
  for (int k = 0; k < count; ++k) {
    // 1. Count, and now and then ask whether to go on.
    if ((++nodes_ & kPollMask) == 0 && observer_ != nullptr && observer_->stopNow()) {
      stopped_ = true;
      return true;
    }
    // 2. Prune, the reflection only when the position itself does not.
    const Indices& child = children[k];
    if (static_cast<unsigned>(eight_[child[0][0]] + seven_[child[0][1]]) > childMoves) continue;
    if (static_cast<unsigned>(eight_[child[1][0]] + seven_[child[1][1]]) > childMoves) continue;
    // Written on the way down, the path holds the moves to the current node.
    const int direction = directions[k];
    path_[childMoves] = static_cast<Direction>(direction);
    // 3. Goal.
    if (childMoves == 0) return true;
    // 4. Below the child.
    const unsigned from = kMoveShapes[blank_][direction].from;
    const unsigned blank = blank_;
    const Indices saved = indices_;
    tileAt_[blank] = tileAt_[from];
    tileAt_[from] = kBlank;
    blank_ = from;
    indices_ = child;
    const bool found = expand(childMoves, kOpposite[direction]);
    indices_ = saved;
    blank_ = blank;
    tileAt_[from] = tileAt_[blank];
    tileAt_[blank] = kBlank;
    if (found) return true;
  }
  return false;
}

AdditiveEstimate additiveEstimate(const AdditiveTables& tables, const Board& position) {
  return AdditiveSearch(tables, position).estimate();
}

AdditiveSolution solveAdditive(const AdditiveTables& tables, const Board& position,
                               AdditiveObserver* observer) {
  AdditiveSolution solution;
  AdditiveSearch search(tables, position);
  solution.estimate = search.estimate();
  for (unsigned bound = solution.estimate.value(); bound <= kMaxBound; bound += 2) {
    if (observer != nullptr && !observer->boundStarts(bound)) {
      solution.outcome = AdditiveSolution::Outcome::stopped;
      return solution;
    }
    const bool found = search.runBound(bound, observer);
    solution.nodes += search.nodes();
    if (search.stopped()) {
      solution.outcome = AdditiveSolution::Outcome::stopped;
      return solution;
    }
    const bool goOn = observer == nullptr || observer->boundEnds(bound, search.nodes());
    if (found) {
      solution.outcome = AdditiveSolution::Outcome::solved;
      solution.length = bound;
      std::copy_n(search.path(), bound, solution.path);
      return solution;
    }
    if (!goOn) {
      solution.outcome = AdditiveSolution::Outcome::stopped;
      return solution;
    }
  }
  solution.outcome = AdditiveSolution::Outcome::noSolution;
  return solution;
}
