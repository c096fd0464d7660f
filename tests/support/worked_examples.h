// The worked examples of the solver's report: positions whose estimate, node counts per bound
// and moves are known in advance.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <vector>

// One printed move: the tile and the letter of the way it slides.
struct Move {
  unsigned tile;
  char letter;
  bool operator==(const Move&) const = default;
};

struct WorkedExample {
  const char* name;
  std::array<int, 16> tiles;         // row by row, 0 for the blank
  std::array<unsigned, 4> terms;     // top-left, top-right, bottom-left, bottom-right
  std::vector<std::uint64_t> nodes;  // per bound, from the estimate up in steps of 2
  unsigned length;
  std::vector<Move> firstMoves;  // the start of the solution as far as it is known
  std::vector<Move> lastMoves;   // and its end
};

// GoogleTest prints a parameter by its bytes otherwise.
inline void PrintTo(const WorkedExample& example, std::ostream* out) {
  *out << example.name;
}

inline const std::vector<WorkedExample>& workedExamples() {
  static const std::vector<WorkedExample> examples = {
      {"EighteenMoves",
       {5, 3, 10, 4, 2, 0, 6, 8, 9, 1, 7, 11, 13, 14, 15, 12},
       {7, 2, 3, 2},
       {8, 31, 39},
       18,
       {{1, 'U'},
        {7, 'L'},
        {6, 'D'},
        {10, 'D'},
        {3, 'R'},
        {1, 'U'},
        {7, 'U'},
        {6, 'L'},
        {10, 'D'},
        {7, 'R'},
        {2, 'R'},
        {5, 'D'},
        {1, 'L'},
        {2, 'U'},
        {6, 'U'},
        {10, 'L'},
        {11, 'L'},
        {12, 'U'}},
       {}},
      {"FortyMoves",
       {5, 2, 14, 7, 11, 0, 8, 3, 6, 1, 12, 15, 13, 4, 9, 10},
       {8, 12, 10, 6},
       {92, 1'164, 83},
       40,
       {{1, 'U'}, {4, 'U'}, {9, 'L'}, {12, 'D'}},
       {{10, 'U'}, {14, 'L'}, {15, 'L'}}},
      {"FortySixMoves",
       {13, 7, 5, 1, 10, 4, 15, 2, 9, 6, 8, 3, 14, 12, 11, 0},
       {10, 12, 8, 8},
       {65, 665, 4'989, 33'394, 44'938},
       46,
       {{3, 'D'}, {8, 'R'}, {15, 'D'}},
       {}},
  };
  return examples;
}
