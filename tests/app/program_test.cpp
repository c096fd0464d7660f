#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/version.h"
#include "board/board.h"
#include "platform/cpu.h"
#include "support/run_program.h"
#include "support/worked_examples.h"

namespace {

using Tiles = std::array<int, kCells>;

constexpr Tiles kGoal = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0};
constexpr int kMovesPerLine = 15;

// Splits off the three banner lines, checks them, and returns what follows.
std::string afterBanner(const std::string& output) {
  std::istringstream stream(output);
  std::string first, second, third;
  std::getline(stream, first);
  std::getline(stream, second);
  std::getline(stream, third);
  EXPECT_EQ(first, std::string("Zelvar version ") + kVersion +
                       " - An optimal solver for the fifteen puzzle");
  EXPECT_FALSE(second.empty());
  EXPECT_EQ(third, "Enter the initial configuration now:");
  const std::size_t size = first.size() + second.size() + third.size() + 3;
  EXPECT_LE(size, output.size()) << "banner lines must end in newlines";
  return output.size() < size ? "" : output.substr(size);
}

std::string text(const Tiles& tiles) {
  std::string result;
  for (int cell = 0; cell < kCells; ++cell) {
    result += std::to_string(tiles[cell]) + (cell % kSide == kSide - 1 ? "\n" : " ");
  }
  return result;
}

struct Rejection {
  const char* name;
  std::string input;
  std::string message;
};

// GoogleTest prints a parameter by its bytes otherwise.
void PrintTo(const Rejection& rejection, std::ostream* out) {
  *out << rejection.name;
}

class ProgramRejects : public ::testing::TestWithParam<Rejection> {};

TEST_P(ProgramRejects, WithTheBannerThenOneMessage) {
  const ProgramRun run = runProgram(GetParam().input);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(afterBanner(run.output), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Input, ProgramRejects,
    ::testing::Values(
        Rejection{"Letter", "x\n", "Error: please enter only numbers.\n"},
        Rejection{"Empty", "", "Error: please enter only numbers.\n"},
        Rejection{"Short", "1 2 3\n", "Error: please enter only numbers.\n"},
        Rejection{"TooLarge", "16 1 2 3\n", "Error: tiles must be numbered from 0 to 15.\n"},
        Rejection{"Negative", "-1\n", "Error: tiles must be numbered from 0 to 15.\n"},
        Rejection{"Repeated", "1 5 5 x\n", "Error: the tile 5 is repeated.\n"},
        Rejection{"Unsolvable", "1 2 3 4 5 6 7 8 9 10 11 12 13 15 14 0\n",
                  "The puzzle can not be solved in this configuration.\n"}),
    [](const ::testing::TestParamInfo<Rejection>& info) { return std::string(info.param.name); });

TEST(Program, ClosedStandardInputIsNotANumber) {
  const ProgramRun run = runProgramWithClosedInput();
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(afterBanner(run.output), "Error: please enter only numbers.\n");
}

// `true` exits without reading, so the program's writes meet a closed pipe; the run must still
// end with status 1 rather than die of the signal.
TEST(Program, ExitsWithOneWhenTheReaderLeavesEarly) {
  const std::string command = "bash -c \"echo 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 0 | '" +
                              std::string(ZELVAR_EXECUTABLE) +
                              "' | true; exit \\${PIPESTATUS[1]}\"";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

// The report without its timing lines, which vary from run to run.
std::string withoutTiming(const std::string& output) {
  static const std::regex kTiming("[0-9]+\\.[0-9]{6} (seconds|nodes per second)\n");
  return std::regex_replace(output, kTiming, "");
}

// Pinned to one CPU the program starts no thread, and the search runs on the main thread alone;
// it prints the same report and nothing on standard error. The position's last bounds are
// large enough to be split when there are more CPUs. So it does when the system refuses every
// thread; a refused thread taken for started would leave the run waiting for it until the
// time limit.
TEST(Program, ReportsTheSameOnOneCpuAsOnAll) {
  if (platform::availableCpus() < 2) GTEST_SKIP() << "one CPU: no thread is started anyway";
  const std::string input = "13 6 3 2 9 4 12 7 1 11 15 14 8 0 10 5\n";
  const ProgramRun usual = runProgram(input, ZELVAR_EXECUTABLE, "exec 2>&1; ");
#ifdef ZELVAR_REFUSE_THREADS
  // The sanitizers' and the emulator's runtimes must come first among the preloaded.
  if (!kSanitized && !kEmulated && shellSucceeds("command -v timeout")) {
    const ProgramRun refused = runProgram(
        input, ZELVAR_EXECUTABLE, "exec 2>&1; LD_PRELOAD='" ZELVAR_REFUSE_THREADS "' timeout 30 ");
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(withoutTiming(refused.output), withoutTiming(usual.output));
  }
#endif
  if (std::system("command -v taskset >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "taskset (util-linux) is not installed";
  }
  // The first CPU this process may use.
  const ProgramRun pinned =
      runProgram(input, ZELVAR_EXECUTABLE,
                 "exec 2>&1; taskset -c \"$(taskset -pc $$ | sed 's/.*: //; s/[-,].*//')\" ");
  EXPECT_EQ(usual.exitStatus, 1);
  EXPECT_EQ(pinned.exitStatus, 1);
  EXPECT_NE(usual.output.find("1764304 nodes total\n"), std::string::npos) << usual.output;
  EXPECT_EQ(withoutTiming(pinned.output), withoutTiming(usual.output));
}

constexpr char kTimeoutCommand[] = "command -v timeout";
constexpr char kNoTimeoutCommand[] = "no timeout command (GNU coreutils)";

// Runs a bash script, with the program as $1, under a time limit; returns its exit status
// (the limit's own is 124).
int scriptStatus(int seconds, const char* script) {
  char scriptPath[] = "/tmp/zelvar-script-XXXXXX";
  const int fd = mkstemp(scriptPath);
  if (fd < 0) return -1;
  const bool written = write(fd, script, std::strlen(script)) > 0;
  close(fd);
  char command[512];
  std::snprintf(command, sizeof command, "timeout %d bash %s '%s' >/dev/null 2>&1", seconds,
                scriptPath, ZELVAR_EXECUTABLE);
  const int status = written ? std::system(command) : -1;
  std::remove(scriptPath);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Once nobody reads the output no further bound is started: the program ends soon after its
// reader has left, with status 1, although its search takes minutes. On a full disk even the
// prompt fails, which ends the run before it reads, with nothing on standard error.
TEST(Program, StopsSoonWhenNobodyReadsItsOutput) {
  if (!shellSucceeds(kTimeoutCommand)) GTEST_SKIP() << kNoTimeoutCommand;
  if (!shellSucceeds("test -c /dev/full")) GTEST_SKIP() << "no /dev/full";
  EXPECT_EQ(scriptStatus(20, R"(echo 1 5 9 13 2 6 10 14 3 7 11 15 4 8 12 0 | "$1" | head -c 200
exit ${PIPESTATUS[1]})"),
            1);
  EXPECT_EQ(scriptStatus(20, R"(errors=$(echo 1 5 9 13 2 6 10 14 3 7 11 15 4 8 12 0 |
  "$1" 2>&1 >/dev/full)
status=$?
[ -z "$errors" ] && exit $status
exit 99)"),
            1);
}

// A reader that leaves during a bound split over the workers: the program notices without
// writing and ends within a second (status 4 otherwise), with status 1 and nothing on standard
// error. The reader leaves after bound 61's line, which comes within a second on two cores;
// bound 63 takes about two more there, more on a busy machine.
TEST(Program, StopsMidBoundWhenNobodyReadsItsOutput) {
  if (!shellSucceeds(kTimeoutCommand)) GTEST_SKIP() << kNoTimeoutCommand;
  if (platform::availableCpus() < 2) GTEST_SKIP() << "one CPU: no bound is split";
  if (kSanitized) GTEST_SKIP() << "the sanitizers take minutes to reach the bound";
#ifndef NDEBUG
  GTEST_SKIP() << "unoptimised, the program takes minutes to reach the bound";
#endif
  EXPECT_EQ(scriptStatus(50, R"(errors=$(mktemp)
coproc program { exec "$1" 2>"$errors"; }
pid=$program_PID  # unset by bash once the program has ended
echo 1 5 10 9 2 6 0 13 3 7 11 14 4 8 12 15 >&"${program[1]}"
exec {program[1]}>&-
# Bound 63 starts once bound 61's line is complete.
while IFS= read -r -t 40 line <&"${program[0]}"; do
  [[ "$line" == "  61 moves:"* ]] && break
done
[[ "$line" == "  61 moves:"* ]] || exit 3
exec {program[0]}<&-
for tenth in {1..10}; do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && { kill "$pid"; exit 4; }
wait "$pid"
status=$?
[ -s "$errors" ] && status=5
rm -f "$errors"
exit $status)"),
            1);
}

// Through a pipe the banner and prompt come before the program reads anything: the script
// waits for the prompt (status 3 when it is not there within 10 s), then types a position.
TEST(Program, ShowsThePromptBeforeReading) {
  if (!shellSucceeds(kTimeoutCommand)) GTEST_SKIP() << kNoTimeoutCommand;
  EXPECT_EQ(scriptStatus(30, R"(coproc program { exec "$1"; }
for line in 1 2 3; do IFS= read -r -t 10 line <&"${program[0]}" || exit 3; done
[ "$line" = "Enter the initial configuration now:" ] || exit 4
echo 1 2 3 4 5 6 7 8 9 10 11 12 13 14 0 15 >&"${program[1]}"
exec {program[1]}>&-
grep -q "^3 nodes total$" <&"${program[0]}" || exit 5
wait "$program_PID")"),
            1);
}

// Parses moves laid out as "%2u%c " with a newline after every fifteenth.
std::vector<Move> parseMoves(const std::string& text) {
  static const std::regex kMove("( [1-9]|1[0-5])[UDLR] ");
  std::vector<Move> moves;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::string token = text.substr(pos, 4);
    if (!std::regex_match(token, kMove)) {
      ADD_FAILURE() << "malformed move \"" << token << "\" at offset " << pos;
      break;
    }
    moves.push_back({static_cast<unsigned>(std::stoi(token.substr(0, 2))), token[2]});
    pos += 4;
    if (moves.size() % kMovesPerLine == 0) {
      EXPECT_EQ(text.substr(pos, 1), "\n") << "after move " << moves.size();
      ++pos;
    }
  }
  return moves;
}

class ProgramSolves : public ::testing::TestWithParam<WorkedExample> {};

TEST_P(ProgramSolves, PrintsTheReportAndAnOptimalSolution) {
  const WorkedExample& report = GetParam();
  const ProgramRun run = runProgram(text(report.tiles));
  EXPECT_EQ(run.exitStatus, 1);
  std::istringstream stream(afterBanner(run.output));

  const auto [topLeft, topRight, bottomLeft, bottomRight] = report.terms;
  char line[128];
  std::snprintf(line, sizeof line, "Initial estimate: %u + %u + %u + %u = %u moves", topLeft,
                topRight, bottomLeft, bottomRight, topLeft + topRight + bottomLeft + bottomRight);
  std::vector<std::string> expected = {"Generating databases. Please wait.", line};
  std::uint64_t total = 0;
  unsigned threshold = topLeft + topRight + bottomLeft + bottomRight;
  for (const std::uint64_t nodes : report.nodes) {
    std::snprintf(line, sizeof line, "%4u moves: %10llu nodes", threshold,
                  static_cast<unsigned long long>(nodes));
    expected.push_back(line);
    total += nodes;
    threshold += 2;
  }
  expected.push_back(std::to_string(total) + " nodes total");
  for (const std::string& want : expected) {
    std::string got;
    std::getline(stream, got);
    EXPECT_EQ(got, want);
  }

  // Timing varies; its form does not. The rate is printed exactly when time has passed.
  std::string seconds;
  std::getline(stream, seconds);
  EXPECT_TRUE(std::regex_match(seconds, std::regex("[0-9]+\\.[0-9]{6} seconds"))) << seconds;
  std::string rest((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  const std::regex rate("[0-9]+\\.[0-9]{6} nodes per second\n");
  std::smatch match;
  const bool hasRate = std::regex_search(rest, match, rate, std::regex_constants::match_continuous);
  EXPECT_EQ(hasRate, seconds != "0.000000 seconds") << rest;
  if (hasRate) rest = match.suffix();

  const std::vector<Move> moves = parseMoves(rest);
  ASSERT_EQ(moves.size(), report.length);
  const std::vector<Move> head(moves.begin(), moves.begin() + report.firstMoves.size());
  const std::vector<Move> tail(moves.end() - report.lastMoves.size(), moves.end());
  EXPECT_EQ(head, report.firstMoves);
  EXPECT_EQ(tail, report.lastMoves);

  Board board;
  for (int cell = 0; cell < kCells; ++cell) {
    board.tiles[cell] = static_cast<std::uint8_t>(report.tiles[cell]);
    board.row[report.tiles[cell]] = cell / kSide;
    board.column[report.tiles[cell]] = cell % kSide;
  }
  for (const Move& move : moves) {
    const int direction = static_cast<int>(std::string("UDLR").find(move.letter));
    bool movedTracked = false;
    ASSERT_TRUE(slide(board, direction, movedTracked)) << move.tile << move.letter;
    ASSERT_EQ(static_cast<unsigned>(board.lastTile), move.tile)
        << "moved tile of " << move.tile << move.letter;
  }
  for (int cell = 0; cell < kCells; ++cell)
    EXPECT_EQ(board.tiles[cell], kGoal[cell]);
}

// The goal and the blank/15 swap, then the worked examples.
std::vector<WorkedExample> solvedPositions() {
  std::vector<WorkedExample> positions = {{"Goal", kGoal, {0, 0, 0, 0}, {1}, 0, {}, {}},
                                          {"BlankAndFifteenSwapped",
                                           {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0, 15},
                                           {0, 0, 0, 1},
                                           {3},
                                           1,
                                           {{15, 'L'}},
                                           {}}};
  positions.insert(positions.end(), workedExamples().begin(), workedExamples().end());
  return positions;
}

INSTANTIATE_TEST_SUITE_P(Positions, ProgramSolves, ::testing::ValuesIn(solvedPositions()),
                         [](const ::testing::TestParamInfo<WorkedExample>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
