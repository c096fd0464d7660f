#include "pattern/distance_table.h"

#include <algorithm>
#include <cassert>

bool sweep(PatternDatabase& database, unsigned target, unsigned minSource) {
  std::uint8_t* const distances = database.distanceTable.get();
  const std::int32_t* const moves = database.moveTable.get();
  const std::uint8_t* const counts = database.countTable.get();
  bool changed = false;
  for (unsigned index = 0; index < database.stateCount; ++index) {
    const unsigned distance = distances[index];
    if (distance == kUnreached || distance < minSource) continue;
    for (int direction = 0; direction < kDirections; ++direction) {
      const std::size_t entry = std::size_t{index} * kDirections + direction;
      const std::int32_t next = moves[entry];
      if (next == kNoMove || distances[next] != kUnreached) continue;
      if (distance + counts[entry] != target) continue;
      distances[next] = static_cast<std::uint8_t>(target);
      changed = true;
      if (++database.filledCount == database.stateCount) return true;
    }
  }
  return changed;
}

bool buildDistanceTable(PatternDatabase& database, std::FILE* out) {
  assert(database.moveTable && database.countTable);
  Board scratch;
  database.distanceTable = allocateTable<std::uint8_t>(database.stateCount);
  if (!database.distanceTable) {
    std::fprintf(out, "Failed to allocate memory for data base.\n");
    return false;
  }
  std::fill_n(database.distanceTable.get(), database.stateCount, kUnreached);
  setGoal(scratch);
  database.distanceTable[rankPlacement(scratch, database)] = 0;
  database.filledCount = 1;

  // Free sweeps close a level under count-0 slides before the step sweep opens the next one,
  // which makes the result a zero/one-cost breadth-first search from the goal.
  unsigned level = 0;
  while (database.filledCount < database.stateCount) {
    if (sweep(database, level, level)) continue;
    ++level;
    sweep(database, level, level - 1);
  }
  database.countTable.reset();
  return true;
}
