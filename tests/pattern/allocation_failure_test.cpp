// Table allocations that fail: the build that needed the table prints its one message, nothing
// is built after it, and every table allocated before it is released.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "alloc/allocation_injector.h"
#include "app/version.h"
#include "board/board.h"
#include "pattern/distance_table.h"
#include "pattern/move_table.h"
#include "pattern/pattern_database.h"
#include "platform/cpu.h"
#include "search/solver.h"
#include "support/output_capture.h"
#include "support/run_program.h"

namespace {

using allocation_injector::attemptedAllocations;
using allocation_injector::failAllocationsFrom;
using allocation_injector::failOnlyAllocation;
using allocation_injector::liveAllocations;

constexpr char kGenerating[] = "Generating databases. Please wait.\n";
constexpr char kMoveTableFailure[] = "Failed to allocate memory for move table.\n";
constexpr char kCountTableFailure[] = "Failed to allocate memory for count table.\n";
constexpr char kDistanceTableFailure[] = "Failed to allocate memory for data base.\n";

// A run allocates bottomRight's move, count and distance tables, then topLeft's.
constexpr int kTableAllocations = 6;
constexpr std::array<const char*, kTableAllocations> kFailureMessages = {
    kMoveTableFailure, kCountTableFailure, kDistanceTableFailure,
    kMoveTableFailure, kCountTableFailure, kDistanceTableFailure};

// The first worked example: solvable, solved within a few dozen nodes.
constexpr char kSolvableInput[] = "5 3 10 4\n2 0 6 8\n9 1 7 11\n13 14 15 12\n";
constexpr std::array<std::uint8_t, kCells> kSolvableTiles = {5, 3, 10, 4,  2,  0,  6,  8,
                                                             9, 1, 7,  11, 13, 14, 15, 12};

Board solvablePosition() {
  Board board;
  for (int cell = 0; cell < kCells; ++cell) {
    const int tile = kSolvableTiles[cell];
    board.tiles[cell] = static_cast<std::uint8_t>(tile);
    board.row[tile] = cell / kSide;
    board.column[tile] = cell % kSide;
  }
  return board;
}

class AllocationFailure : public ::testing::Test {
 protected:
  void TearDown() override { failAllocationsFrom(0); }
};

TEST_F(AllocationFailure, MoveTableBuildStopsAtEitherFailedTable) {
  {
    PatternDatabase database(4, kBottomRightPattern);
    OutputCapture output;
    failAllocationsFrom(1);
    EXPECT_FALSE(buildMoveTable(database, output.file()));
    EXPECT_EQ(output.text(), kMoveTableFailure);
    EXPECT_EQ(attemptedAllocations(), 1u) << "the count table must not be tried";
    EXPECT_EQ(database.moveTable.get(), nullptr);
    EXPECT_EQ(database.countTable.get(), nullptr);
  }
  {
    PatternDatabase database(4, kBottomRightPattern);
    OutputCapture output;
    failAllocationsFrom(2);
    EXPECT_FALSE(buildMoveTable(database, output.file()));
    EXPECT_EQ(output.text(), kCountTableFailure);
    EXPECT_EQ(attemptedAllocations(), 2u);
    EXPECT_NE(database.moveTable.get(), nullptr) << "the move table stays with the database";
    EXPECT_EQ(database.countTable.get(), nullptr);
    EXPECT_EQ(liveAllocations(), 1u);
  }
  EXPECT_EQ(liveAllocations(), 0u) << "the destructor releases what the build left";
}

TEST_F(AllocationFailure, DistanceTableBuildReportsItsFailedTable) {
  {
    PatternDatabase database(4, kBottomRightPattern);
    OutputCapture output;
    ASSERT_TRUE(buildMoveTable(database, output.file()));
    failAllocationsFrom(1);
    EXPECT_FALSE(buildDistanceTable(database, output.file()));
    EXPECT_EQ(output.text(), kDistanceTableFailure);
    EXPECT_EQ(attemptedAllocations(), 1u);
    EXPECT_EQ(database.distanceTable.get(), nullptr);
  }
  EXPECT_EQ(liveAllocations(), 0u);
}

// The baseline the failing runs are measured against: a run without failure makes exactly the
// six table allocations and releases all of them.
TEST_F(AllocationFailure, RunWithoutFailureAllocatesSixTablesAndReleasesThem) {
  Board position = solvablePosition();
  OutputCapture output;
  failAllocationsFrom(0);
  runSolver(position, output.file());
  const std::string text = output.text();
  EXPECT_TRUE(
      text.starts_with(std::string(kGenerating) + "Initial estimate: 7 + 2 + 3 + 2 = 14 moves\n"))
      << text;
  EXPECT_EQ(attemptedAllocations(), static_cast<unsigned>(kTableAllocations));
  EXPECT_EQ(liveAllocations(), 0u);
}

// A failed table on a pool with threads gives them back and is tried once more on the
// calling thread alone; only a table that fails then too is a failure.
TEST_F(AllocationFailure, PoolGivesBackItsThreadsAndTriesTheTableOnceMore) {
  {
    WorkerPool pool(3);
    ASSERT_EQ(pool.size(), 3u);
    failOnlyAllocation(1);
    const Table<std::int32_t> table = allocateTable<std::int32_t>(1000, pool);
    EXPECT_NE(table.get(), nullptr);
    EXPECT_EQ(attemptedAllocations(), 2u);
    EXPECT_EQ(pool.size(), 1u);
    std::vector<int> runs(3, 0);
    auto count = [&](unsigned worker) { ++runs[worker]; };
    pool.run(count);
    EXPECT_EQ(runs, (std::vector<int>{1, 0, 0})) << "the caller alone runs the tasks";
  }
  {
    WorkerPool pool(3);
    failAllocationsFrom(1);
    EXPECT_EQ(allocateTable<std::uint8_t>(1000, pool).get(), nullptr);
    EXPECT_EQ(attemptedAllocations(), 2u);
    EXPECT_EQ(pool.size(), 1u);
    EXPECT_EQ(allocateTable<std::uint8_t>(1000, pool).get(), nullptr);
    EXPECT_EQ(attemptedAllocations(), 3u) << "the caller alone has nothing to give back";
  }
  EXPECT_EQ(liveAllocations(), 0u);
}

TEST_F(AllocationFailure, RunStopsAtEachFailedTableAndReleasesTheOthers) {
  // The run's pool has a thread per further CPU, given back at the failed table, which is
  // then tried once more.
  const int retries = platform::availableCpus() > 1 ? 1 : 0;
  for (int n = 1; n <= kTableAllocations; ++n) {
    SCOPED_TRACE("failing table allocation " + std::to_string(n));
    Board position = solvablePosition();
    OutputCapture output;
    failAllocationsFrom(static_cast<unsigned>(n));
    runSolver(position, output.file());
    EXPECT_EQ(output.text(), std::string(kGenerating) + kFailureMessages[n - 1]);
    EXPECT_EQ(attemptedAllocations(), static_cast<unsigned>(n + retries))
        << "built past the failure";
    EXPECT_EQ(liveAllocations(), 0u);
    EXPECT_EQ(position.tiles, kSolvableTiles) << "no move may be played without a search";
  }
}

// Splits program output into lines, keeping each newline.
std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string::npos ? text.size() : end + 1;
    result.push_back(text.substr(start, next - start));
    start = next;
  }
  return result;
}

// Banner, prompt and generating line, then exactly `message`.
void expectFailedRun(const ProgramRun& run, const std::string& message) {
  EXPECT_EQ(run.exitStatus, 1);
  const std::vector<std::string> output = lines(run.output);
  ASSERT_EQ(output.size(), 5u) << run.output;
  EXPECT_EQ(output[0], std::string("Zelvar version ") + kVersion +
                           " - An optimal solver for the fifteen puzzle\n");
  EXPECT_GT(output[1].size(), 1u) << "the notice line is missing";
  EXPECT_EQ(output[2], "Enter the initial configuration now:\n");
  EXPECT_EQ(output[3], kGenerating);
  EXPECT_EQ(output[4], message);
}

TEST(AllocationFailureProgram, EachFailedTableEndsTheRunWithItsMessage) {
  for (int n = 1; n <= kTableAllocations; ++n) {
    SCOPED_TRACE("failing table allocation " + std::to_string(n));
    const ProgramRun run = runProgram(kSolvableInput, ZELVAR_FAILING_EXECUTABLE,
                                      "ZELVAR_FAIL_ALLOCATION=" + std::to_string(n) + " ");
    expectFailedRun(run, kFailureMessages[n - 1]);
  }
}

TEST(AllocationFailureProgram, AddressSpaceLimitFailsATableOfTheRealProgram) {
  if (!kAddressSpaceCanBeLimited) GTEST_SKIP() << kAddressSpaceLimitMissing;
  if (!shellSucceeds("ulimit -v 1000000")) GTEST_SKIP() << "the shell cannot set ulimit -v";
  // About 6 MB start the program and 15 MB carry it into the search; 10 MB fails topLeft's
  // move table with a wide margin on both sides.
  const ProgramRun run = runProgram(kSolvableInput, ZELVAR_EXECUTABLE, "ulimit -v 10000; ");
  const std::string text = run.output;
  const bool anyTableMessage = text.ends_with(kMoveTableFailure) ||
                               text.ends_with(kCountTableFailure) ||
                               text.ends_with(kDistanceTableFailure);
  ASSERT_TRUE(anyTableMessage) << text;
  expectFailedRun(run, lines(text).back());
}

}  // namespace
