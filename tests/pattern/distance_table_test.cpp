#include "pattern/distance_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "pattern/built_databases.h"
#include "pattern/move_table.h"
#include "pattern/reference_pattern.h"

namespace {

// States per distance, with kUnreached counted in the last slot.
std::vector<unsigned> histogram(const PatternDatabase& database) {
  std::vector<unsigned> counts(256, 0);
  for (unsigned state = 0; state < database.stateCount; ++state) {
    ++counts[database.distanceTable[state]];
  }
  return counts;
}

std::vector<unsigned> nonZeroPrefix(std::vector<unsigned> counts) {
  while (!counts.empty() && counts.back() == 0)
    counts.pop_back();
  return counts;
}

Board placement(int tile1, int cell1, int tile2, int cell2, int tile3, int cell3, int blankCell) {
  Board board;
  board.tiles.fill(kDontCare);
  const std::pair<int, int> tilesAndCells[] = {
      {tile1, cell1}, {tile2, cell2}, {tile3, cell3}, {kBlank, blankCell}};
  for (auto [tile, cell] : tilesAndCells) {
    board.tiles[cell] = static_cast<std::uint8_t>(tile);
    board.row[tile] = cell / kSide;
    board.column[tile] = cell % kSide;
  }
  return board;
}

struct SweepLog {
  unsigned freeSweeps = 0;
  unsigned stepSweeps = 0;
  unsigned lastLevel = 0;
  bool endedOnStep = false;
  std::vector<unsigned> setByLevelZeroSweeps;
  std::string error;
};

// One pass written as plainly as possible: every state in index order, every slide read from
// the tables. The library's pass skips and derives much of this, so it is held to this one.
bool plainSweep(const PatternDatabase& database, std::vector<std::uint8_t>& distances,
                unsigned& filled, unsigned target, unsigned minSource) {
  bool changed = false;
  for (unsigned state = 0; state < database.stateCount; ++state) {
    if (distances[state] == kUnreached || distances[state] < minSource) continue;
    for (int direction = 0; direction < kDirections; ++direction) {
      const std::size_t entry = std::size_t{state} * kDirections + direction;
      const std::int32_t next = database.moveTable[entry];
      if (next == kNoMove || distances[next] != kUnreached) continue;
      if (distances[state] + database.countTable[entry] != target) continue;
      distances[next] = static_cast<std::uint8_t>(target);
      changed = true;
      if (++filled == database.stateCount) return true;
    }
  }
  return changed;
}

// Runs the level-by-level schedule of free and step sweeps on a database whose move and count
// tables are freshly built, checking each sweep's verdict against filledCount and its whole
// table against the plain pass run alongside.
SweepLog driveSweeps(PatternDatabase& database) {
  SweepLog log;
  database.distanceTable = allocateTable<std::uint8_t>(database.stateCount);
  std::fill_n(database.distanceTable.get(), database.stateCount, kUnreached);
  Board goal;
  setGoal(goal);
  database.distanceTable[rankPlacement(goal, database)] = 0;
  database.filledCount = 1;
  std::vector<std::uint8_t> plain(database.distanceTable.get(),
                                  database.distanceTable.get() + database.stateCount);
  unsigned plainFilled = 1;

  unsigned level = 0;
  auto run = [&](unsigned target, unsigned minSource) {
    const unsigned before = database.filledCount;
    const bool changed = sweep(database, target, minSource);
    const bool plainChanged = plainSweep(database, plain, plainFilled, target, minSource);
    const std::string where = " at level " + std::to_string(level);
    if (changed != (database.filledCount > before) && log.error.empty()) {
      log.error = "verdict disagrees with filledCount" + where;
    }
    if ((changed != plainChanged || database.filledCount != plainFilled ||
         !std::equal(plain.begin(), plain.end(), database.distanceTable.get())) &&
        log.error.empty()) {
      log.error = "pass differs from the plain pass" + where;
    }
    return database.filledCount - before;
  };
  while (log.error.empty() && level < 64) {
    ++log.freeSweeps;
    const unsigned set = run(level, level);
    if (level == 0) log.setByLevelZeroSweeps.push_back(set);
    if (database.filledCount == database.stateCount) break;
    if (set != 0) continue;
    ++level;
    ++log.stepSweeps;
    run(level, level - 1);
    if (database.filledCount == database.stateCount) {
      log.endedOnStep = true;
      break;
    }
  }
  log.lastLevel = level;
  return log;
}

}  // namespace

TEST(DistanceTable, BuildFillsEveryStateAndReleasesTheCountTable) {
  const BuiltDatabases& built = builtDatabases();
  ASSERT_TRUE(built.built);
  for (const PatternDatabase* database : {&built.topLeft, &built.bottomRight}) {
    EXPECT_EQ(database->filledCount, database->stateCount);
    EXPECT_EQ(database->countTable, nullptr);
    EXPECT_NE(database->moveTable, nullptr);
    ASSERT_NE(database->distanceTable, nullptr);
    EXPECT_EQ(histogram(*database)[kUnreached], 0u);
  }
}

TEST(DistanceTable, StatesPerDistance) {
  const BuiltDatabases& built = builtDatabases();
  ASSERT_TRUE(built.built);
  EXPECT_EQ(
      nonZeroPrefix(histogram(built.topLeft)),
      (std::vector<unsigned>{12, 26, 182, 580, 1'698, 3'892, 9'807, 19'728, 38'811, 62'078, 87'567,
                             94'014, 85'567, 60'434, 36'484, 16'420, 5'966, 876, 18}));
  EXPECT_EQ(nonZeroPrefix(histogram(built.bottomRight)),
            (std::vector<unsigned>{1, 26, 80, 340, 941, 2'348, 4'370, 6'626, 8'258, 7'950, 6'085,
                                   3'670, 1'899, 876, 206, 4}));
}

TEST(DistanceTable, TopLeftGoalStatesDifferOnlyInTheBlank) {
  const PatternDatabase& topLeft = builtDatabases().topLeft;
  ASSERT_TRUE(builtDatabases().built);
  std::set<int> blankCells;
  for (unsigned state = 0; state < topLeft.stateCount; ++state) {
    const bool home = state >= 336 && state <= 347;
    ASSERT_EQ(topLeft.distanceTable[state] == 0, home) << state;
    if (!home) continue;
    Board board;
    unrankPlacement(board, state, topLeft);
    EXPECT_EQ(board.tiles[0], 1);
    EXPECT_EQ(board.tiles[1], 2);
    EXPECT_EQ(board.tiles[4], 5);
    EXPECT_EQ(board.tiles[5], 6);
    blankCells.insert(cellOf(board, kBlank));
  }
  EXPECT_EQ(blankCells.size(), 12u);
}

TEST(DistanceTable, BottomRightAroundTheGoal) {
  const PatternDatabase& bottomRight = builtDatabases().bottomRight;
  ASSERT_TRUE(builtDatabases().built);
  for (unsigned state = 0; state < bottomRight.stateCount; ++state) {
    ASSERT_EQ(bottomRight.distanceTable[state] == 0, state == 29'288) << state;
  }
  // Tile 15 and the blank exchanged.
  EXPECT_EQ(
      bottomRight.distanceTable[rankPlacement(placement(11, 10, 12, 11, 15, 15, 14), bottomRight)],
      1);
  // The blank has to get past the three home tiles to reach its own cell.
  for (int blank = 0; blank < kCells - 1; ++blank) {
    if (blank == 10 || blank == 11 || blank == 14) continue;
    EXPECT_EQ(
        bottomRight
            .distanceTable[rankPlacement(placement(11, 10, 12, 11, 15, 14, blank), bottomRight)],
        6)
        << "blank in cell " << blank;
  }
}

// Guards every distance against a plain 0/1-cost breadth-first search, so faster builds must
// give identical tables, on any number of workers.
TEST(DistanceTable, EqualsZeroOneBreadthFirstSearch) {
  for (unsigned workers : kComparedWorkerCounts) {
    SCOPED_TRACE(std::to_string(workers) + " workers");
    const BuiltDatabases& built = builtDatabases(workers);
    ASSERT_TRUE(built.built);
    EXPECT_EQ(built.poolSize, workers);
    for (const auto& [database, model] :
         {std::pair{&built.topLeft, &reference::topLeftModel()},
          std::pair{&built.bottomRight, &reference::bottomRightModel()}}) {
      ASSERT_EQ(model->stateCount, database->stateCount);
      EXPECT_EQ(database->filledCount, database->stateCount);
      EXPECT_EQ(database->countTable, nullptr);
      unsigned failures = 0;
      for (unsigned state = 0; state < database->stateCount; ++state) {
        if (database->distanceTable[state] == model->distances[state]) continue;
        if (++failures <= 5) {
          ADD_FAILURE() << database->tileCount << " entries, state " << state << ": "
                        << int{database->distanceTable[state]} << " expected "
                        << int{model->distances[state]};
        }
      }
      EXPECT_EQ(failures, 0u) << database->tileCount << " entries";
    }
  }
}

TEST(Sweep, BottomRightLevelByLevel) {
  PatternDatabase bottomRight(4, kBottomRightPattern);
  ASSERT_TRUE(buildMoveTable(bottomRight));
  const SweepLog log = driveSweeps(bottomRight);
  EXPECT_EQ(log.error, "");
  // Both slides from the goal move a tracked tile, so level 0 never grows.
  EXPECT_EQ(log.setByLevelZeroSweeps, std::vector<unsigned>{0});
  EXPECT_EQ(log.freeSweeps, 82u);
  EXPECT_EQ(log.stepSweeps, 15u);
  EXPECT_EQ(log.lastLevel, 15u);
  EXPECT_TRUE(log.endedOnStep);
  EXPECT_TRUE(std::equal(reference::bottomRightModel().distances.begin(),
                         reference::bottomRightModel().distances.end(),
                         bottomRight.distanceTable.get()));
}

TEST(Sweep, TopLeftLevelByLevel) {
  PatternDatabase topLeft(5, kTopLeftPattern);
  ASSERT_TRUE(buildMoveTable(topLeft));
  const SweepLog log = driveSweeps(topLeft);
  EXPECT_EQ(log.error, "");
  // States set in a pass act as sources later in the same pass, so four passes spread the
  // goal's 0 to all eleven other blank cells.
  ASSERT_EQ(log.setByLevelZeroSweeps.size(), 5u);
  EXPECT_EQ(log.setByLevelZeroSweeps[4], 0u);
  unsigned setAtZero = 0;
  for (unsigned i = 0; i < 4; ++i) {
    EXPECT_GT(log.setByLevelZeroSweeps[i], 0u) << "sweep " << i;
    setAtZero += log.setByLevelZeroSweeps[i];
  }
  EXPECT_EQ(setAtZero, 11u);
  EXPECT_EQ(log.freeSweeps, 93u);
  EXPECT_EQ(log.stepSweeps, 18u);
  EXPECT_EQ(log.lastLevel, 18u);
  EXPECT_TRUE(log.endedOnStep);
  EXPECT_TRUE(std::equal(reference::topLeftModel().distances.begin(),
                         reference::topLeftModel().distances.end(), topLeft.distanceTable.get()));
}

// Each tracked slide moves a tracked tile to a neighbouring cell and so flips how many tracked
// tiles stand on dark cells of a chessboard colouring; free slides keep it. The parallel build
// relies on this: at every level, the states it writes and the states it reads across workers
// are of different parity.
TEST(DistanceTable, DistanceParityFollowsTheTrackedTilesColours) {
  const BuiltDatabases& built = builtDatabases();
  ASSERT_TRUE(built.built);
  for (const PatternDatabase* database : {&built.topLeft, &built.bottomRight}) {
    auto darkTiles = [&](unsigned state) {
      Board board;
      unrankPlacement(board, state, *database);
      unsigned dark = 0;
      for (int k = 0; k + 1 < database->tileCount; ++k) {
        const int cell = cellOf(board, database->tileList[k]);
        dark += static_cast<unsigned>((cell / kSide + cell % kSide) % 2);
      }
      return dark % 2;
    };
    Board goal;
    setGoal(goal);
    const unsigned goalParity = darkTiles(rankPlacement(goal, *database));
    unsigned failures = 0;
    for (unsigned state = 0; state < database->stateCount; ++state) {
      const unsigned distance = database->distanceTable[state];
      if (darkTiles(state) == (goalParity + distance) % 2) continue;
      if (++failures <= 5) ADD_FAILURE() << "state " << state << " at distance " << distance;
    }
    EXPECT_EQ(failures, 0u) << database->tileCount << " entries";
  }
}

// With many workers the build pulls from levels where most states are still unreached; with
// one it pushes until most are reached. Both must give the same table.
TEST(DistanceTable, ManyWorkersPullFromEarlierLevels) {
  constexpr unsigned kWorkers = 16;
  const BuiltDatabases& built = builtDatabases(kWorkers);
  ASSERT_TRUE(built.built);
  ASSERT_EQ(built.poolSize, kWorkers);
  const BuiltDatabases& alone = builtDatabases(1);
  ASSERT_TRUE(alone.built);
  for (const auto& [database, single] : {std::pair{&built.topLeft, &alone.topLeft},
                                         std::pair{&built.bottomRight, &alone.bottomRight}}) {
    EXPECT_EQ(database->filledCount, database->stateCount);
    EXPECT_TRUE(std::equal(single->distanceTable.get(),
                           single->distanceTable.get() + single->stateCount,
                           database->distanceTable.get()))
        << database->tileCount << " entries";
  }
}
