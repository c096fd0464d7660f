// The position record of the puzzle and the four slides. The same record holds the real
// position (all sixteen cells known) and the abstract positions of a pattern database, where
// cells whose tile is not tracked hold kDontCare.
#pragma once

#include <array>
#include <cstdint>

inline constexpr int kCells = 16;
inline constexpr int kSide = 4;
inline constexpr int kBlank = 0;
// Tile code of a cell whose tile a pattern does not track.
inline constexpr std::uint8_t kDontCare = 99;

// The way the moved tile travels; the blank travels the other way.
enum Direction : std::uint8_t { kUp = 0, kDown = 1, kLeft = 2, kRight = 3 };
inline constexpr int kDirections = 4;
inline constexpr char kDirectionLetters[] = "UDLR";
// The direction that undoes each direction.
inline constexpr Direction kOpposite[kDirections] = {kDown, kUp, kRight, kLeft};

struct Board {
  // Only movesOnLine is set here; setGoal, readConfiguration or unrankPlacement fill the rest.
  Board() : movesOnLine(0) {}

  std::array<std::uint8_t, kCells> tiles;   // tile by cell: 1-15, kBlank or kDontCare
  std::array<std::int32_t, kCells> column;  // by tile number; stale for untracked tiles
  std::array<std::int32_t, kCells> row;     // by tile number; stale for untracked tiles
  std::int32_t lastTile;     // tile code moved by the latest slide (kDontCare included)
  std::int32_t movesOnLine;  // solution moves already printed on the current line
};

// Whether the tile next to a blank in `blankCell` can slide in `direction` (any value but 0 to
// 2 means kRight), and the cell offset the blank then travels: the moved tile comes from
// blankCell + blankStep(direction).
constexpr bool canSlide(int blankCell, int direction) {
  switch (direction) {
    case kUp:
      return blankCell / kSide != kSide - 1;
    case kDown:
      return blankCell / kSide != 0;
    case kLeft:
      return blankCell % kSide != kSide - 1;
    default:
      return blankCell % kSide != 0;
  }
}
constexpr int blankStep(int direction) {
  switch (direction) {
    case kUp:
      return kSide;
    case kDown:
      return -kSide;
    case kLeft:
      return 1;
    default:
      return -1;
  }
}

inline int cellOf(const Board& board, int tile) {
  return board.row[tile] * kSide + board.column[tile];
}

// Fills the solved position: tiles 1-15 in reading order, the blank in cell 15.
void setGoal(Board& board);

// Slides the tile next to the blank in `direction` (any value but 0 to 2 means kRight). Returns
// false and leaves everything untouched when the blank is on the edge that forbids it. Otherwise
// sets lastTile and reports in movedTracked whether the moved cell held a tracked tile.
bool slide(Board& board, int direction, bool& movedTracked);
