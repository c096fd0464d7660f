#include "api/position.h"

#include "input/configuration.h"

namespace zelvar::detail {

namespace {

constexpr char kNotANumber[] = "Error: please enter only numbers.";
constexpr char kOutOfRange[] = "Error: tiles must be numbered from 0 to 15.";
constexpr char kTooMany[] = "Error: please enter only sixteen numbers.";
// Turning the board half a turn takes cell c to this cell and a tile t to kRelabel - t.
constexpr int kLastCell = kCells - 1;
constexpr int kRelabel = kCells;

// Characters of a text for readNumber; a comma separates numbers as white space does.
struct TextSource {
  std::string_view text;
  std::size_t next = 0;
  int get() { return next < text.size() ? static_cast<unsigned char>(text[next++]) : EOF; }
  void unget(int) { --next; }
  bool isSpace(int c) const { return c == ',' || isScanSpace(c); }
};

std::string repeated(unsigned tile) {
  return "Error: the tile " + std::to_string(tile) + " is repeated.";
}

}  // namespace

std::string readNumbers(std::string_view text, Numbers& numbers) {
  TextSource source{text};
  bool seen[kCells] = {};
  for (int& number : numbers) {
    unsigned value = 0;
    if (!readNumber(source, value)) return kNotANumber;
    if (value > kMaxTile) return kOutOfRange;
    if (seen[value]) return repeated(value);
    seen[value] = true;
    number = static_cast<int>(value);
  }
  while (source.next < text.size() && source.isSpace(static_cast<unsigned char>(text[source.next])))
    ++source.next;
  if (source.next == text.size()) return {};
  unsigned extra = 0;
  return readNumber(source, extra) ? kTooMany : kNotANumber;
}

std::string checkNumbers(const Numbers& numbers) {
  bool seen[kCells] = {};
  for (const int number : numbers) {
    if (number < 0 || number > static_cast<int>(kMaxTile)) return kOutOfRange;
    if (seen[number]) return repeated(static_cast<unsigned>(number));
    seen[number] = true;
  }
  return {};
}

Board boardOf(const Numbers& numbers, Goal goal) {
  Board board;
  for (int cell = 0; cell < kCells; ++cell) {
    int tile = numbers[static_cast<std::size_t>(cell)];
    int at = cell;
    if (goal == Goal::blankFirst) {
      at = kLastCell - cell;
      if (tile != kBlank) tile = kRelabel - tile;
    }
    board.tiles[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(tile);
    board.row[static_cast<std::size_t>(tile)] = at / kSide;
    board.column[static_cast<std::size_t>(tile)] = at % kSide;
  }
  return board;
}

Move moveIn(Goal goal, int tile, int direction) {
  if (goal == Goal::blankFirst) return {kRelabel - tile, kDirectionLetters[kOpposite[direction]]};
  return {tile, kDirectionLetters[direction]};
}

}  // namespace zelvar::detail

namespace zelvar {

const char* version() noexcept {
  return "1.0";
}

std::string formatMoves(const std::vector<Move>& moves) {
  std::string text;
  for (const Move& move : moves) {
    if (!text.empty()) text += ' ';
    text += std::to_string(move.tile);
    text += move.direction;
  }
  return text;
}

std::string formatPosition(const Numbers& position) {
  std::string text;
  for (const int number : position) {
    if (!text.empty()) text += ' ';
    text += std::to_string(number);
  }
  return text;
}

Solver::Solver() : Solver(SolverOptions{}) {}

}  // namespace zelvar
