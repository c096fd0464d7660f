// Plain fifteen-puzzle code for checking the search and the solver from outside: positions as
// tiles by cell, seeded scrambles, an IDA* with Manhattan distance, and a re-implementation of
// the solver's bounded search over the database heuristic that works on positions, not indices.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "board/board.h"
#include "pattern/reference_pattern.h"

namespace reference {

struct Position {
  std::array<int, 16> tiles{};  // tile by cell, 0 for the blank
  int blank = 15;
};

inline Position goalPosition() {
  Position position;
  for (int cell = 0; cell < 15; ++cell)
    position.tiles[cell] = cell + 1;
  return position;
}

inline Position positionFromRows(const std::array<int, 16>& tiles) {
  Position position;
  position.tiles = tiles;
  for (int cell = 0; cell < 16; ++cell) {
    if (tiles[cell] == 0) position.blank = cell;
  }
  return position;
}

inline bool isGoal(const Position& position) {
  return position.tiles == goalPosition().tiles;
}

inline int opposite(int direction) {
  return direction ^ 1;
}

// Moves the tile that travels in `direction` into the blank; returns that tile, or 0 when the
// blank is on the forbidding edge.
inline int slideTile(Position& position, int direction) {
  const int source = sourceCell(position.blank, direction);
  if (source < 0) return 0;
  const int tile = position.tiles[source];
  position.tiles[position.blank] = tile;
  position.tiles[source] = 0;
  position.blank = source;
  return tile;
}

// `moves` random slides, never undoing the previous one.
inline Position scramble(std::mt19937& rng, int moves) {
  Position position = goalPosition();
  int previous = -1;
  for (int done = 0; done < moves;) {
    const int direction = static_cast<int>(rng() % 4);
    if (previous >= 0 && direction == opposite(previous)) continue;
    if (slideTile(position, direction) == 0) continue;
    previous = direction;
    ++done;
  }
  return position;
}

inline Board toBoard(const Position& position) {
  Board board;
  for (int cell = 0; cell < 16; ++cell) {
    const int tile = position.tiles[cell];
    board.tiles[cell] = static_cast<std::uint8_t>(tile);
    board.row[tile] = cell / 4;
    board.column[tile] = cell % 4;
  }
  board.lastTile = 0;
  return board;
}

inline int manhattan(int tile, int cell) {
  const int home = tile - 1;
  return std::abs(home / 4 - cell / 4) + std::abs(home % 4 - cell % 4);
}

// IDA* with Manhattan distance, trying U, D, L, R in this order and never undoing the previous
// move. Any admissible pruning keeps the first solution of a bound the same, so the result is
// the first optimal sequence in that order.
class ManhattanSolver {
 public:
  std::vector<int> solve(Position start) {
    position_ = start;
    int estimate = 0;
    for (int cell = 0; cell < 16; ++cell) {
      if (position_.tiles[cell] != 0) estimate += manhattan(position_.tiles[cell], cell);
    }
    for (int bound = estimate;; bound += 2) {
      moves_.clear();
      if (extend(bound, -1, estimate)) return moves_;
    }
  }

 private:
  bool extend(int movesLeft, int forbidden, int estimate) {
    if (estimate > movesLeft) return false;
    if (movesLeft == 0) return true;
    for (int direction = 0; direction < 4; ++direction) {
      if (direction == forbidden) continue;
      const int from = position_.blank;
      const int tile = slideTile(position_, direction);
      if (tile == 0) continue;
      const int next = estimate - manhattan(tile, position_.blank) + manhattan(tile, from);
      moves_.push_back(direction);
      if (extend(movesLeft - 1, opposite(direction), next)) return true;
      moves_.pop_back();
      slideTile(position_, opposite(direction));
    }
    return false;
  }

  Position position_;
  std::vector<int> moves_;
};

// The four database indices of a position, from where its tiles stand: the top-left block
// directly, the top-right and bottom-left blocks mirrored onto it, and the bottom-right block.
struct ViewIndices {
  unsigned topLeft, topRight, bottomLeft, bottomRight;
};

inline ViewIndices viewIndices(const Position& position) {
  std::array<int, 16> cellOf{};
  for (int cell = 0; cell < 16; ++cell)
    cellOf[position.tiles[cell]] = cell;
  auto leftRight = [&](int tile) { return cellOf[tile] / 4 * 4 + 3 - cellOf[tile] % 4; };
  auto upDown = [&](int tile) { return (3 - cellOf[tile] / 4) * 4 + cellOf[tile] % 4; };
  return {
      rankCells({cellOf[1], cellOf[2], cellOf[5], cellOf[6], cellOf[0]}, 5),
      rankCells({leftRight(4), leftRight(3), leftRight(8), leftRight(7), leftRight(0)}, 5),
      rankCells({upDown(13), upDown(14), upDown(9), upDown(10), upDown(0)}, 5),
      rankCells({cellOf[11], cellOf[12], cellOf[15], cellOf[0], 0}, 4),
  };
}

// Everything the solver decides for a position: the four estimate terms, the nodes of each
// bound tried, and the moves found.
struct DatabaseRun {
  std::array<unsigned, 4> terms{};  // top-left, top-right, bottom-left, bottom-right
  std::vector<std::uint64_t> nodesPerBound;
  bool solved = false;
  std::vector<int> moves;
};

class DatabaseSearch {
 public:
  DatabaseSearch(const std::uint8_t* topLeftDistances, const std::uint8_t* bottomRightDistances)
      : topLeft_(topLeftDistances), bottomRight_(bottomRightDistances) {}

  std::array<unsigned, 4> terms(const Position& position) const {
    const ViewIndices views = viewIndices(position);
    return {topLeft_[views.topLeft], topLeft_[views.topRight], topLeft_[views.bottomLeft],
            bottomRight_[views.bottomRight]};
  }

  DatabaseRun run(const Position& start) {
    DatabaseRun result;
    result.terms = terms(start);
    const unsigned estimate = result.terms[0] + result.terms[1] + result.terms[2] + result.terms[3];
    for (unsigned bound = estimate; bound <= 99; bound += 2) {
      position_ = start;
      moves_.clear();
      nodes_ = 0;
      const bool found = extend(bound, -1);
      result.nodesPerBound.push_back(nodes_);
      if (found) {
        result.solved = true;
        result.moves = moves_;
        break;
      }
    }
    return result;
  }

 private:
  bool extend(unsigned movesLeft, int forbidden) {
    ++nodes_;
    const std::array<unsigned, 4> parts = terms(position_);
    if (parts[0] + parts[1] + parts[2] + parts[3] > movesLeft) return false;
    if (movesLeft == 0) return true;
    for (int direction = 0; direction < 4; ++direction) {
      if (direction == forbidden) continue;
      if (slideTile(position_, direction) == 0) continue;
      moves_.push_back(direction);
      if (extend(movesLeft - 1, opposite(direction))) return true;
      moves_.pop_back();
      slideTile(position_, opposite(direction));
    }
    return false;
  }

  const std::uint8_t* topLeft_;
  const std::uint8_t* bottomRight_;
  Position position_;
  std::vector<int> moves_;
  std::uint64_t nodes_ = 0;
};

}  // namespace reference
