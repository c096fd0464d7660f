// The solver's two pattern databases, built once per test binary in the solver's order.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "pattern/distance_table.h"
#include "pattern/move_table.h"
#include "pattern/pattern_database.h"

struct BuiltDatabases {
  BuiltDatabases() {
    built = buildMoveTable(bottomRight) && keepCounts(bottomRight, bottomRightCounts) &&
            buildDistanceTable(bottomRight) && buildMoveTable(topLeft) &&
            keepCounts(topLeft, topLeftCounts) && buildDistanceTable(topLeft);
  }

  PatternDatabase topLeft{5, kTopLeftPattern};
  PatternDatabase bottomRight{4, kBottomRightPattern};
  // Copies taken before the distance build releases the count tables.
  std::vector<std::uint8_t> topLeftCounts;
  std::vector<std::uint8_t> bottomRightCounts;
  bool built = false;

 private:
  static bool keepCounts(const PatternDatabase& database, std::vector<std::uint8_t>& copy) {
    const std::uint8_t* counts = database.countTable.get();
    copy.assign(counts, counts + std::size_t{database.stateCount} * kDirections);
    return true;
  }
};

inline const BuiltDatabases& builtDatabases() {
  static const BuiltDatabases databases;
  return databases;
}
