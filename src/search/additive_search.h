// Iterative deepening with the additive 7-8 heuristic: tiles 1-8 and 9-15 in two databases
// whose values add up, and the larger of that sum for the position and for its reflection about
// the main diagonal. A node is the board and its four database indices; a move changes one
// index in each orientation.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "board/board.h"
#include "search/search.h"

// The two tables, one byte per placement (see pattern/additive_database.h); borrowed.
struct AdditiveTables {
  const std::uint8_t* eight = nullptr;  // tiles 1-8
  const std::uint8_t* seven = nullptr;  // tiles 9-15
};

// The reflection maps cell (r, c) to (c, r) and each tile to the goal tile of its new cell, so
// the goal maps onto itself and U, D, L, R onto L, R, U, D.
inline constexpr std::uint8_t kReflectedTile[kCells] = {0,  1, 5, 9,  13, 2, 6, 10,
                                                        14, 3, 7, 11, 15, 4, 8, 12};
inline constexpr std::uint8_t kReflectedCell[kCells] = {0, 4, 8,  12, 1, 5, 9,  13,
                                                        2, 6, 10, 14, 3, 7, 11, 15};

// The heuristic's terms: each pattern's value for the position and for its reflection.
struct AdditiveEstimate {
  unsigned seven = 0, eight = 0, reflectedSeven = 0, reflectedEight = 0;
  unsigned value() const { return std::max(seven + eight, reflectedSeven + reflectedEight); }
};

// The position's terms; `position` must have all sixteen tiles.
AdditiveEstimate additiveEstimate(const AdditiveTables& tables, const Board& position);

// What a caller hears of a solve while it runs; every default lets it go on.
class AdditiveObserver {
 public:
  virtual ~AdditiveObserver() = default;
  // As a bound starts; false stops the solve there.
  virtual bool boundStarts(unsigned bound) {
    (void)bound;
    return true;
  }
  // As a bound ends with its count; false stops the solve after it.
  virtual bool boundEnds(unsigned bound, std::uint64_t nodes) {
    (void)bound;
    (void)nodes;
    return true;
  }
  // Asked every few thousand nodes during a bound; true gives the solve up at once.
  virtual bool stopNow() { return false; }
};

struct AdditiveSolution {
  enum class Outcome { solved, noSolution, stopped };
  Outcome outcome = Outcome::noSolution;
  AdditiveEstimate estimate;
  unsigned length = 0;
  std::uint64_t nodes = 0;  // over all bounds searched, the stopped one's partial count too
  // path[k] is the direction taken at the node that had k + 1 moves left.
  Direction path[kMaxBound + 1] = {};
};

// One position's search, a bound at a time. Allocates nothing; searches of different
// positions may run on different threads at once.
class AdditiveSearch {
 public:
  // `position` must be solvable with all sixteen tiles; the tables must be the finished ones.
  AdditiveSearch(const AdditiveTables& tables, const Board& position);

  AdditiveEstimate estimate() const;

  // Whether exactly `bound` moves lead to the goal, with the first such moves in the order
  // U, D, L, R in path(); counts every node visited, pruned ones included, in nodes(). A
  // search that `observer` gives up returns false with stopped() set and a partial count.
  bool runBound(unsigned bound, AdditiveObserver* observer = nullptr);
  std::uint64_t nodes() const { return nodes_; }
  bool stopped() const { return stopped_; }
  // path()[k] is the direction taken at the node that had k + 1 moves left.
  const Direction* path() const { return path_; }

  // Database indices: [position, reflection][eight tiles, seven tiles].
  using Indices = std::array<std::array<std::uint32_t, 2>, 2>;

 private:
  bool expand(unsigned movesLeft, int forbidden);

  const std::uint8_t* eight_;
  const std::uint8_t* seven_;
  AdditiveObserver* observer_ = nullptr;
  std::uint8_t tileAt_[kCells] = {};
  unsigned blank_ = 0;
  Indices indices_{};
  std::uint64_t nodes_ = 0;
  bool stopped_ = false;
  Direction path_[kMaxBound + 1] = {};
};

// Deepens from the estimate in steps of 2 (every move changes the estimate's parity) up to
// kMaxBound, counting every node visited, pruned ones included, and finds the first shortest
// solution in the order U, D, L, R. `position` must be solvable with all sixteen tiles; the
// tables must be the finished ones. Allocates nothing; may run on many threads at once.
AdditiveSolution solveAdditive(const AdditiveTables& tables, const Board& position,
                               AdditiveObserver* observer = nullptr);
