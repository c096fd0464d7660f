// The solver's two pattern databases, built once per test binary and worker count in the
// solver's order.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "parallel/worker_pool.h"
#include "pattern/distance_table.h"
#include "pattern/move_table.h"
#include "pattern/pattern_database.h"

// Worker counts the tables are compared at: one, two, three (which split nothing evenly) and
// more than most machines have CPUs.
inline constexpr unsigned kComparedWorkerCounts[] = {1, 2, 3, 7};

struct BuiltDatabases {
  explicit BuiltDatabases(unsigned workers = 1) {
    WorkerPool pool(workers);
    poolSize = pool.size();
    built = buildMoveTable(bottomRight, pool) && keepCounts(bottomRight, bottomRightCounts) &&
            buildDistanceTable(bottomRight, pool) && buildMoveTable(topLeft, pool) &&
            keepCounts(topLeft, topLeftCounts) && buildDistanceTable(topLeft, pool);
  }

  PatternDatabase topLeft{5, kTopLeftPattern};
  PatternDatabase bottomRight{4, kBottomRightPattern};
  // Copies taken before the distance build releases the count tables.
  std::vector<std::uint8_t> topLeftCounts;
  std::vector<std::uint8_t> bottomRightCounts;
  bool built = false;
  unsigned poolSize = 0;  // the workers that built them

 private:
  static bool keepCounts(const PatternDatabase& database, std::vector<std::uint8_t>& copy) {
    const std::uint8_t* counts = database.countTable.get();
    copy.assign(counts, counts + std::size_t{database.stateCount} * kDirections);
    return true;
  }
};

// Built on first use; the tests of a binary run on one thread.
inline const BuiltDatabases& builtDatabases(unsigned workers = 1) {
  static std::map<unsigned, std::unique_ptr<const BuiltDatabases>> databases;
  std::unique_ptr<const BuiltDatabases>& slot = databases[workers];
  if (!slot) slot = std::make_unique<const BuiltDatabases>(workers);
  return *slot;
}
