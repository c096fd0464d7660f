// zelvar-batch's records against the interactive program's reports: the same lengths, counts
// per bound and moves for the worked examples, random positions and refused lines, on one
// worker and on three, in both goal frames.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/run_program.h"
#include "support/worked_examples.h"

namespace {

using Tiles = std::array<int, 16>;

// What the interactive program reports for one line, written as a --no-times record.
struct Expected {
  std::string error;  // empty when solved
  unsigned length = 0;
  std::uint64_t nodes = 0;
  std::vector<std::pair<unsigned, std::uint64_t>> bounds;
  std::vector<std::pair<int, char>> moves;
};

Expected interactiveReport(const std::string& line) {
  const ProgramRun run = runProgram(line + "\n");
  EXPECT_EQ(run.exitStatus, 1) << line;
  std::istringstream report(run.output);
  std::string text;
  for (int banner = 0; banner < 3; ++banner)
    std::getline(report, text);
  Expected expected;
  std::getline(report, text);
  if (text != "Generating databases. Please wait.") {
    expected.error = text;
    return expected;
  }
  std::getline(report, text);  // the estimate
  unsigned bound = 0;
  unsigned long long nodes = 0;
  while (std::getline(report, text) &&
         std::sscanf(text.c_str(), "%u moves: %llu nodes", &bound, &nodes) == 2) {
    expected.bounds.emplace_back(bound, nodes);
  }
  EXPECT_EQ(std::sscanf(text.c_str(), "%llu nodes total", &nodes), 1) << text;
  expected.nodes = nodes;
  while (std::getline(report, text) && text.find("second") != std::string::npos) {
  }
  // The moves, fifteen a line: tile number and letter.
  std::istringstream moves(text + '\n' + std::string(std::istreambuf_iterator<char>(report), {}));
  for (std::string move; moves >> move;)
    expected.moves.emplace_back(std::stoi(move), move.back());
  expected.length = static_cast<unsigned>(expected.moves.size());
  EXPECT_EQ(expected.length, expected.bounds.back().first) << line;
  return expected;
}

std::string join(const Tiles& tiles, const char* separator) {
  std::string text;
  for (std::size_t i = 0; i < tiles.size(); ++i)
    text += (i > 0 ? separator : "") + std::to_string(tiles[i]);
  return text;
}

// The goal 0 1 2 ... 15's frame: the half-turn of the board, tiles relabelled t -> 16 - t.
Tiles blankFirst(const Tiles& tiles) {
  Tiles turned{};
  for (int cell = 0; cell < 16; ++cell)
    turned[15 - cell] = tiles[cell] == 0 ? 0 : 16 - tiles[cell];
  return turned;
}

std::string record(std::uint64_t line, const Tiles& position, const Expected& expected,
                   bool mirrored) {
  std::string text = "{\"line\":" + std::to_string(line);
  if (!expected.error.empty()) return text + ",\"error\":\"" + expected.error + "\"}";
  text += ",\"position\":\"" + join(position, " ") +
          "\",\"length\":" + std::to_string(expected.length) + ",\"moves\":\"";
  for (std::size_t i = 0; i < expected.moves.size(); ++i) {
    auto [tile, letter] = expected.moves[i];
    if (mirrored) {
      tile = 16 - tile;
      letter = std::string_view("DULR").at(std::string_view("UDRL").find(letter));
    }
    if (i > 0) text += ' ';
    text += std::to_string(tile);
    text += letter;
  }
  text += "\",\"nodes\":" + std::to_string(expected.nodes) + ",\"bounds\":[";
  for (std::size_t i = 0; i < expected.bounds.size(); ++i) {
    if (i > 0) text += ',';
    text += '[' + std::to_string(expected.bounds[i].first) + ',' +
            std::to_string(expected.bounds[i].second) + ']';
  }
  return text + "]}";
}

struct InputLine {
  std::string text;        // as the batch program reads it, blank-last frame
  std::string blankFirst;  // the same line in the other frame
  std::uint64_t number;    // its line number; 0 for lines that have no record
  Tiles tiles{};           // for positions
};

class BatchRecords : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Fewer random positions where every run is many times slower.
    constexpr bool kSlow = kSanitized
#ifndef NDEBUG
                           || true
#endif
        ;
    std::vector<Tiles> positions;
    for (const WorkedExample& example : workedExamples())
      positions.push_back(example.tiles);
    std::ifstream random(ZELVAR_SOURCE_DIR "/bench/random-positions.txt");
    Tiles tiles{};
    for (int count = 0; count < (kSlow ? 4 : 30); ++count) {
      for (int& tile : tiles)
        random >> tile;
      positions.push_back(tiles);
    }
    ASSERT_TRUE(random) << "bench/random-positions.txt";
    positions.push_back({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0});
    positions.push_back({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 14, 0});

    lines_ = {{"# worked examples, random positions, refusals", "", 0, {}}, {"", "", 0, {}}};
    for (const Tiles& position : positions) {
      // Every other line separated by commas, as published instance sets often are.
      const char* separator = lines_.size() % 2 == 0 ? " " : ", ";
      lines_.push_back({join(position, separator), join(blankFirst(position), separator),
                        lines_.size() + 1, position});
    }
    for (const char* refused : {"1 2 3", "16 1 2 3 4 5 6 7 8 9 10 11 12 13 14 0",
                                "1 5 5 2 3 4 6 7 8 9 10 11 12 13 14 0", "5 3 x"}) {
      lines_.push_back({refused, refused, lines_.size() + 1, {}});
    }
    for (InputLine& line : lines_) {
      if (line.number == 0) continue;
      std::string spaced = line.text;
      for (char& c : spaced)
        c = c == ',' ? ' ' : c;
      reports_.push_back(interactiveReport(spaced));
    }
  }

  // The batch program's records of all lines in one frame, and its exit status.
  static ProgramRun runBatch(bool inBlankFirst, unsigned workers) {
    std::string input;
    for (const InputLine& line : lines_)
      input += (inBlankFirst ? line.blankFirst : line.text) + '\n';
    return runCommandLine(input, std::string("'") + ZELVAR_BATCH_EXECUTABLE +
                                     "' --no-times --workers " + std::to_string(workers) +
                                     (inBlankFirst ? " --goal blank-first" : ""));
  }

  static void compare(bool inBlankFirst, unsigned workers) {
    const ProgramRun run = runBatch(inBlankFirst, workers);
    EXPECT_EQ(run.exitStatus, 1) << "some lines are refused";
    std::istringstream records(run.output);
    std::size_t report = 0;
    for (const InputLine& line : lines_) {
      if (line.number == 0) continue;
      std::string actual;
      std::getline(records, actual);
      const Tiles position = inBlankFirst ? blankFirst(line.tiles) : line.tiles;
      EXPECT_EQ(actual, record(line.number, position, reports_[report++], inBlankFirst))
          << workers << " workers, line: " << line.text;
    }
    std::string extra;
    EXPECT_FALSE(std::getline(records, extra)) << "a record too many: " << extra;
  }

  static inline std::vector<InputLine> lines_;
  static inline std::vector<Expected> reports_;  // one for each line with a record
};

TEST_F(BatchRecords, MatchTheInteractiveReportsOnOneWorker) {
  compare(false, 1);
}

TEST_F(BatchRecords, MatchTheInteractiveReportsOnThreeWorkers) {
  compare(false, 3);
}

TEST_F(BatchRecords, MatchTheMirroredReportsInTheBlankFirstFrame) {
  compare(true, 1);
  compare(true, 3);
}

}  // namespace
