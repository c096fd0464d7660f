#include "pattern/move_table.h"

bool buildMoveTable(PatternDatabase& database, std::FILE* out) {
  Board scratch;
  const std::size_t entries = std::size_t{database.stateCount} * kDirections;
  database.moveTable = allocateTable<std::int32_t>(entries);
  if (!database.moveTable) {
    std::fprintf(out, "Failed to allocate memory for move table.\n");
    return false;
  }
  database.countTable = allocateTable<std::uint8_t>(entries);
  if (!database.countTable) {
    std::fprintf(out, "Failed to allocate memory for count table.\n");
    return false;
  }

  for (unsigned index = 0; index < database.stateCount; ++index) {
    unrankPlacement(scratch, index, database);
    for (int direction = 0; direction < kDirections; ++direction) {
      const std::size_t entry = std::size_t{index} * kDirections + direction;
      database.moveTable[entry] = kNoMove;
      bool movedTracked = false;
      if (!slide(scratch, direction, movedTracked)) continue;
      database.moveTable[entry] = static_cast<std::int32_t>(rankPlacement(scratch, database));
      database.countTable[entry] = movedTracked ? 1 : 0;
      slide(scratch, kOpposite[direction], movedTracked);
    }
  }
  return true;
}
