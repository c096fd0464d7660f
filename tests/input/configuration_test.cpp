#include "input/configuration.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "support/output_capture.h"

namespace {

using Tiles = std::array<int, kCells>;

constexpr Tiles kGoal = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0};
const std::string kGoalText = "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 0";

const std::string kNotNumbers = "Error: please enter only numbers.\n";
const std::string kOutOfRange = "Error: tiles must be numbered from 0 to 15.\n";
const std::string kUnsolvable = "The puzzle can not be solved in this configuration.\n";

struct ReadResult {
  bool accepted = false;
  std::string output;
  std::string unread;  // what the reader left in the stream
  Board board;
};

ReadResult read(const std::string& input) {
  ReadResult result;
  std::FILE* in = inputStream(input);
  OutputCapture out;
  if (in == nullptr || out.file() == nullptr) ADD_FAILURE() << "cannot open temporary streams";
  if (in == nullptr || out.file() == nullptr) return result;
  result.accepted = readConfiguration(result.board, in, out.file());
  result.output = out.text();
  for (int c = std::getc(in); c != EOF; c = std::getc(in))
    result.unread += static_cast<char>(c);
  std::fclose(in);
  return result;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

void expectBoard(const Board& board, const Tiles& tiles) {
  for (int cell = 0; cell < kCells; ++cell) {
    EXPECT_EQ(board.tiles[cell], tiles[cell]) << "cell " << cell;
    EXPECT_EQ(board.row[tiles[cell]], cell / kSide) << "tile " << tiles[cell];
    EXPECT_EQ(board.column[tiles[cell]], cell % kSide) << "tile " << tiles[cell];
  }
}

Board boardFromTiles(const Tiles& tiles) {
  Board board;
  for (int cell = 0; cell < kCells; ++cell) {
    board.tiles[cell] = static_cast<std::uint8_t>(tiles[cell]);
    board.row[tiles[cell]] = cell / kSide;
    board.column[tiles[cell]] = cell % kSide;
  }
  return board;
}

}  // namespace

TEST(ReadConfiguration, AcceptsSolvablePermutations) {
  ReadResult goal = read(kGoalText + "\n");
  EXPECT_TRUE(goal.accepted);
  EXPECT_EQ(goal.output, "");
  EXPECT_EQ(goal.unread, "\n");
  expectBoard(goal.board, kGoal);

  ReadResult blankSwapped = read("1 2 3 4 5 6 7 8 9 10 11 12 13 14 0 15");
  EXPECT_TRUE(blankSwapped.accepted);
  EXPECT_EQ(blankSwapped.output, "");
  expectBoard(blankSwapped.board, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0, 15});
}

// Every spelling of the goal gives the same board, and nothing past the sixteenth number is
// consumed.
TEST(ReadConfiguration, LayoutAndSpellingDoNotMatter) {
  const std::string megabytes(3 << 20, ' ');
  const std::string zeros(100000, '0');
  const std::vector<std::string> inputs = {
      "1 2 3 4\n5 6 7 8\n9 10 11 12\n13 14 15 0\n",
      "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n0\n",
      "\t1\t2\r\n3\r\n4 \t\r5\v6\f7 8 9 10 11 12 13 14 15\t0\r\n",
      megabytes + "\n\t" + kGoalText,
      replaced(replaced(replaced(kGoalText, " 5 ", " +5 "), " 0", " -0"), " 7 ", " 0007 "),
      replaced(kGoalText, " 7 ", " " + zeros + "7 "),
  };
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input.size() > 200 ? input.substr(input.size() - 200) : input);
    ReadResult result = read(input + "xyz");
    EXPECT_TRUE(result.accepted);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.unread, input.substr(input.find_last_not_of(" \t\r\n") + 1) + "xyz");
    expectBoard(result.board, kGoal);
  }
  EXPECT_EQ(read(kGoalText + " 17 junk").unread, " 17 junk");
}

struct Refusal {
  std::string input;
  std::string message;
  std::string unread;
};

// The input's start, quoted (GoogleTest prints a parameter by its bytes otherwise).
void PrintTo(const Refusal& refusal, std::ostream* out) {
  constexpr std::size_t kShown = 24;
  *out << '"';
  for (const char c : refusal.input.substr(0, kShown))
    *out << (c == '\n' ? std::string("\\n") : std::string(1, c));
  *out << (refusal.input.size() > kShown ? "...\"" : "\"");
}

class ReadRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(ReadRefusal, ReportsTheFirstProblemOnlyAndStopsThere) {
  const Refusal& refusal = GetParam();
  ReadResult result = read(refusal.input);
  EXPECT_FALSE(result.accepted);
  EXPECT_EQ(result.output, refusal.message);
  EXPECT_EQ(result.unread, refusal.unread);
}

INSTANTIATE_TEST_SUITE_P(
    Parity, ReadRefusal,
    ::testing::Values(Refusal{"1 2 3 4 5 6 7 8 9 10 11 12 13 15 14 0\n", kUnsolvable, "\n"},
                      Refusal{"0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15", kUnsolvable, ""}));

// Values that wrap to a tile number under a 32-bit "%u" must still be refused.
INSTANTIATE_TEST_SUITE_P(
    OutOfRange, ReadRefusal,
    ::testing::Values(Refusal{"16 1 1", kOutOfRange, " 1 1"},
                      Refusal{"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 0", kOutOfRange, " 0"},
                      Refusal{"4294967296 7", kOutOfRange, " 7"},
                      Refusal{"4294967297 7", kOutOfRange, " 7"},
                      Refusal{"99999999999999999999 7", kOutOfRange, " 7"},
                      Refusal{"-1 7", kOutOfRange, " 7"}, Refusal{"-16 7", kOutOfRange, " 7"},
                      Refusal{"-4294967295 7", kOutOfRange, " 7"},
                      Refusal{"3 " + std::string(100000, '9') + " 7", kOutOfRange, " 7"}));

INSTANTIATE_TEST_SUITE_P(
    NotANumber, ReadRefusal,
    ::testing::Values(Refusal{"1 2 x 16", kNotNumbers, "x 16"},
                      Refusal{"1 2 3x 4", kNotNumbers, "x 4"}, Refusal{"1 + 3", kNotNumbers, " 3"},
                      Refusal{"1 - 3", kNotNumbers, " 3"}, Refusal{"1 2 3", kNotNumbers, ""},
                      Refusal{"", kNotNumbers, ""}, Refusal{"1 2 3 \n\n ", kNotNumbers, ""}));

INSTANTIATE_TEST_SUITE_P(
    Repeated, ReadRefusal,
    ::testing::Values(Refusal{"1 5 5 16 x", "Error: the tile 5 is repeated.\n", " 16 x"},
                      Refusal{"5 2 5junk", "Error: the tile 5 is repeated.\n", "junk"},
                      Refusal{"1 5 05", "Error: the tile 5 is repeated.\n", ""},
                      Refusal{"0 -0 x", "Error: the tile 0 is repeated.\n", " x"}));

// Solvable exactly when the transpositions of `perm` plus the blank's row and column are even.
TEST(IsSolvable, FollowsTheParityOfPermutationAndBlankDistance) {
  struct Case {
    Tiles tiles;
    bool solvable;
  };
  const Case cases[] = {
      // Goal: no transposition, blank at (3, 3): 6.
      {kGoal, true},
      // Tiles 12 and the blank exchanged: 1 transposition, blank at (2, 3): 6.
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, 13, 14, 15, 12}, true},
      // Also tiles 1 and 2 exchanged: 2 transpositions, blank at (2, 3): 7.
      {{2, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, 13, 14, 15, 12}, false},
      // Every tile shifted one cell on: a 16-cycle, 15 transpositions, blank at (0, 0): 15.
      {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, false},
      // Tiles 1-15 reversed: 7 transpositions, blank at (3, 3): 13.
      {{15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, false},
      // Transposed goal: pairs 2-5, 3-9, 4-13, 7-10, 8-14, 12-15, blank at (3, 3): 12.
      {{1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 4, 8, 12, 0}, true},
  };
  for (const Case& test : cases) {
    OutputCapture out;
    ASSERT_NE(out.file(), nullptr);
    EXPECT_EQ(isSolvable(boardFromTiles(test.tiles), out.file()), test.solvable);
    EXPECT_EQ(out.text(), test.solvable ? "" : kUnsolvable);
  }
}
