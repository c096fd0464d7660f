// A deliberately plain model of a pattern database, written without the library's indexing:
// placements are numbered by enumerating cell tuples in lexicographic order, slides move tiles
// in a tuple of cells, and distances come from a 0/1-cost breadth-first search with a deque.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

namespace reference {

inline constexpr int kMaxTiles = 5;

// Cell of each listed tile, the blank last; only the first `n` entries are used.
using Cells = std::array<int, kMaxTiles>;

// Position of a tuple in the lexicographic list of all tuples of n distinct cells.
inline unsigned rankCells(const Cells& cells, int n) {
  bool used[16] = {};
  unsigned rank = 0;
  for (int i = 0; i < n; ++i) {
    unsigned smallerFree = 0;
    for (int cell = 0; cell < cells[i]; ++cell)
      smallerFree += used[cell] ? 0 : 1;
    unsigned completions = 1;
    for (int later = i + 1; later < n; ++later)
      completions *= 16 - later;
    rank += smallerFree * completions;
    used[cells[i]] = true;
  }
  return rank;
}

// Calls visit(cells) for every tuple of n distinct cells, in lexicographic order.
template <typename Visit>
void forEachPlacement(int n, Visit&& visit) {
  Cells cells{};
  bool used[16] = {};
  auto place = [&](auto& self, int i) -> void {
    if (i == n) {
      visit(static_cast<const Cells&>(cells));
      return;
    }
    for (int cell = 0; cell < 16; ++cell) {
      if (used[cell]) continue;
      used[cell] = true;
      cells[i] = cell;
      self(self, i + 1);
      used[cell] = false;
    }
  };
  place(place, 0);
}

// Cell the moved tile comes from for a slide in `direction` (U, D, L, R: the way the tile
// travels), or -1 when the blank is on the edge that forbids it.
inline int sourceCell(int blank, int direction) {
  const int row = blank / 4;
  const int column = blank % 4;
  switch (direction) {
    case 0:
      return row < 3 ? blank + 4 : -1;
    case 1:
      return row > 0 ? blank - 4 : -1;
    case 2:
      return column < 3 ? blank + 1 : -1;
    default:
      return column > 0 ? blank - 1 : -1;
  }
}

struct Model {
  int tileCount = 0;
  unsigned stateCount = 0;
  unsigned goal = 0;
  std::vector<Cells> placements;     // by index
  std::vector<std::int32_t> moves;   // 4 per state, -1 for an impossible slide
  std::vector<std::uint8_t> counts;  // 4 per state, 1 when a listed tile moves
  std::vector<std::uint8_t> distances;
};

// `tiles` lists the tracked tiles, the blank (0) last; tile t's home is cell t - 1.
inline Model buildModel(const std::vector<int>& tiles) {
  Model model;
  const int n = static_cast<int>(tiles.size());
  model.tileCount = n;
  forEachPlacement(n, [&](const Cells& cells) { model.placements.push_back(cells); });
  model.stateCount = static_cast<unsigned>(model.placements.size());
  model.moves.assign(model.stateCount * 4, -1);
  model.counts.assign(model.stateCount * 4, 0);

  for (unsigned index = 0; index < model.stateCount; ++index) {
    const Cells& cells = model.placements[index];
    for (int direction = 0; direction < 4; ++direction) {
      const int source = sourceCell(cells[n - 1], direction);
      if (source < 0) continue;
      Cells next = cells;
      next[n - 1] = source;
      for (int i = 0; i < n - 1; ++i) {
        if (cells[i] != source) continue;
        next[i] = cells[n - 1];
        model.counts[index * 4 + direction] = 1;
      }
      model.moves[index * 4 + direction] = static_cast<std::int32_t>(rankCells(next, n));
    }
  }

  Cells home{};
  for (int i = 0; i < n; ++i)
    home[i] = tiles[i] == 0 ? 15 : tiles[i] - 1;
  model.goal = rankCells(home, n);

  // Slides are reversible at equal cost, so distances from the goal are distances to it.
  model.distances.assign(model.stateCount, 255);
  std::vector<bool> settled(model.stateCount, false);
  std::deque<unsigned> frontier{model.goal};
  model.distances[model.goal] = 0;
  while (!frontier.empty()) {
    const unsigned state = frontier.front();
    frontier.pop_front();
    if (settled[state]) continue;
    settled[state] = true;
    for (int direction = 0; direction < 4; ++direction) {
      const std::int32_t next = model.moves[state * 4 + direction];
      if (next < 0) continue;
      const int cost = model.counts[state * 4 + direction];
      if (model.distances[state] + cost >= model.distances[next]) continue;
      model.distances[next] = static_cast<std::uint8_t>(model.distances[state] + cost);
      if (cost == 0) {
        frontier.push_front(static_cast<unsigned>(next));
      } else {
        frontier.push_back(static_cast<unsigned>(next));
      }
    }
  }
  return model;
}

inline const Model& topLeftModel() {
  static const Model model = buildModel({1, 2, 5, 6, 0});
  return model;
}

inline const Model& bottomRightModel() {
  static const Model model = buildModel({11, 12, 15, 0});
  return model;
}

}  // namespace reference
