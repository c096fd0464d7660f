#include "pattern/move_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pattern/built_databases.h"
#include "pattern/reference_pattern.h"
#include "support/output_capture.h"

namespace {

struct Tables {
  const char* name;
  const PatternDatabase* database;
  const std::vector<std::uint8_t>* counts;
  const reference::Model* model;
};

std::vector<Tables> bothTables(unsigned workers = 1) {
  const BuiltDatabases& built = builtDatabases(workers);
  return {{"topLeft", &built.topLeft, &built.topLeftCounts, &reference::topLeftModel()},
          {"bottomRight", &built.bottomRight, &built.bottomRightCounts,
           &reference::bottomRightModel()}};
}

}  // namespace

TEST(MoveTable, GoalEntries) {
  const BuiltDatabases& built = builtDatabases();
  ASSERT_TRUE(built.built);
  // Around the top-left goal the blank's neighbours are untracked, so both slides are free.
  const std::int32_t* moves = &built.topLeft.moveTable[347 * 4];
  const std::uint8_t* counts = &built.topLeftCounts[347 * 4];
  EXPECT_EQ(moves[kUp], kNoMove);
  EXPECT_EQ(moves[kLeft], kNoMove);
  EXPECT_EQ(moves[kDown], 343);
  EXPECT_EQ(moves[kRight], 346);
  EXPECT_EQ(counts[kDown], 0);
  EXPECT_EQ(counts[kRight], 0);

  // Around the bottom-right goal they are tiles 12 and 15.
  moves = &built.bottomRight.moveTable[29'288 * 4];
  counts = &built.bottomRightCounts[29'288 * 4];
  EXPECT_EQ(moves[kUp], kNoMove);
  EXPECT_EQ(moves[kLeft], kNoMove);
  EXPECT_EQ(moves[kDown], 30'027);
  EXPECT_EQ(moves[kRight], 29'301);
  EXPECT_EQ(counts[kDown], 1);
  EXPECT_EQ(counts[kRight], 1);
}

TEST(MoveTable, SlidesPerStateAndTrackedSlideTotals) {
  ASSERT_TRUE(builtDatabases().built);
  struct Expected {
    unsigned withTwo, withThree, withFour, tracked, untracked;
  };
  const Expected expected[] = {{131'040, 262'080, 131'040, 419'328, 1'153'152},
                               {10'920, 21'840, 10'920, 26'208, 104'832}};
  int which = 0;
  for (const Tables& tables : bothTables()) {
    unsigned withSlides[5] = {};
    unsigned tracked = 0;
    unsigned untracked = 0;
    for (unsigned entry = 0; entry < tables.database->stateCount * 4; entry += 4) {
      int possible = 0;
      for (int direction = 0; direction < kDirections; ++direction) {
        if (tables.database->moveTable[entry + direction] == kNoMove) continue;
        ++possible;
        ((*tables.counts)[entry + direction] == 1 ? tracked : untracked) += 1;
      }
      ++withSlides[possible];
    }
    const Expected& want = expected[which++];
    EXPECT_EQ(withSlides[0] + withSlides[1], 0u) << tables.name;
    EXPECT_EQ(withSlides[2], want.withTwo) << tables.name;
    EXPECT_EQ(withSlides[3], want.withThree) << tables.name;
    EXPECT_EQ(withSlides[4], want.withFour) << tables.name;
    EXPECT_EQ(tracked, want.tracked) << tables.name;
    EXPECT_EQ(untracked, want.untracked) << tables.name;
  }
}

TEST(MoveTable, EverySlideIsUndoneByItsOpposite) {
  ASSERT_TRUE(builtDatabases().built);
  for (const Tables& tables : bothTables()) {
    const std::int32_t* moves = tables.database->moveTable.get();
    unsigned failures = 0;
    for (unsigned state = 0; state < tables.database->stateCount; ++state) {
      for (int direction = 0; direction < kDirections; ++direction) {
        const std::int32_t next = moves[state * 4 + direction];
        if (next == kNoMove) continue;
        if (next < 0 || static_cast<unsigned>(next) >= tables.database->stateCount ||
            moves[static_cast<unsigned>(next) * 4 + kOpposite[direction]] !=
                static_cast<std::int32_t>(state)) {
          if (++failures <= 5) ADD_FAILURE() << tables.name << " " << state << " " << direction;
        }
      }
    }
    EXPECT_EQ(failures, 0u) << tables.name;
  }
}

// Guards every entry against the plain model, so faster builds must give identical tables, on
// any number of workers.
TEST(MoveTable, EqualsTheReferenceModelEntryByEntry) {
  for (unsigned workers : kComparedWorkerCounts) {
    SCOPED_TRACE(std::to_string(workers) + " workers");
    ASSERT_TRUE(builtDatabases(workers).built);
    EXPECT_EQ(builtDatabases(workers).poolSize, workers);
    for (const Tables& tables : bothTables(workers)) {
      ASSERT_EQ(tables.model->stateCount, tables.database->stateCount);
      unsigned failures = 0;
      for (unsigned entry = 0; entry < tables.database->stateCount * 4; ++entry) {
        const std::int32_t move = tables.database->moveTable[entry];
        const bool sameMove = move == tables.model->moves[entry];
        const bool sameCount =
            move == kNoMove || (*tables.counts)[entry] == tables.model->counts[entry];
        if (!sameMove || !sameCount) {
          if (++failures <= 5) {
            ADD_FAILURE() << tables.name << " state " << entry / 4 << " direction " << entry % 4
                          << ": move " << move << " expected " << tables.model->moves[entry]
                          << ", count " << int{(*tables.counts)[entry]} << " expected "
                          << int{tables.model->counts[entry]};
          }
        }
      }
      EXPECT_EQ(failures, 0u) << tables.name;
    }
  }
}

TEST(BuildMoveTable, FreshBuildPrintsNothingAndRepeatsTheTables) {
  PatternDatabase bottomRight(4, kBottomRightPattern);
  OutputCapture out;
  ASSERT_NE(out.file(), nullptr);
  EXPECT_TRUE(buildMoveTable(bottomRight, out.file()));
  EXPECT_EQ(out.text(), "");
  ASSERT_NE(bottomRight.moveTable, nullptr);
  ASSERT_NE(bottomRight.countTable, nullptr);
  EXPECT_EQ(bottomRight.distanceTable, nullptr);
  const std::vector<std::int32_t> moves(bottomRight.moveTable.get(),
                                        bottomRight.moveTable.get() + 43'680 * 4);
  EXPECT_EQ(moves, reference::bottomRightModel().moves);
}
