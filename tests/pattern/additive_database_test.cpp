#include "pattern/additive_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "pattern/built_databases.h"

namespace {

std::vector<std::uint8_t> buildTable(const AdditivePattern& pattern, unsigned workers) {
  std::vector<std::uint8_t> table(placementCount(pattern.tileCount));
  WorkerPool pool(workers);
  EXPECT_EQ(buildAdditiveTable(pattern, table.data(), pool), AdditiveBuild::built);
  return table;
}

// The interactive program's databases track the blank as their last digit, and cost only the
// tracked tiles' moves toward the same goal: the least entry over the blank's cells is the
// value of the placement of the other tiles, which the additive build must give.
void expectMinimumOverBlank(const AdditivePattern& pattern, const PatternDatabase& reference) {
  ASSERT_EQ(reference.tileCount, pattern.tileCount + 1);
  for (unsigned workers : {1u, 3u}) {
    SCOPED_TRACE(workers);
    const std::vector<std::uint8_t> table = buildTable(pattern, workers);
    const unsigned blankBase = static_cast<unsigned>(kCells - pattern.tileCount);
    for (std::size_t index = 0; index < table.size(); ++index) {
      const std::uint8_t* entries = reference.distanceTable.get() + index * blankBase;
      ASSERT_EQ(table[index], *std::min_element(entries, entries + blankBase)) << index;
    }
  }
}

}  // namespace

TEST(AdditiveDatabase, ThreeTilesMatchTheBottomRightDatabase) {
  const BuiltDatabases& built = builtDatabases();
  ASSERT_TRUE(built.built);
  expectMinimumOverBlank({3, {11, 12, 15}}, built.bottomRight);
}

TEST(AdditiveDatabase, FourTilesMatchTheTopLeftDatabase) {
  const BuiltDatabases& built = builtDatabases();
  ASSERT_TRUE(built.built);
  expectMinimumOverBlank({4, {1, 2, 5, 6}}, built.topLeft);
}

// Five tiles give levels enough that the build pulls as well as pushes; the bytes must not
// depend on the workers.
TEST(AdditiveDatabase, SameTableOnAnyNumberOfWorkers) {
  const AdditivePattern pattern = {5, {3, 4, 7, 8, 12}};
  const std::vector<std::uint8_t> one = buildTable(pattern, 1);
  EXPECT_EQ(std::count(one.begin(), one.end(), 255), 0);
  for (unsigned workers : {2u, 5u})
    EXPECT_TRUE(one == buildTable(pattern, workers)) << workers;
}
