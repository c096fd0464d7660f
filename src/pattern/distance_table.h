// Distance table of a pattern database: for every state, the least number of tracked-tile
// slides to the goal placement, where the blank's own travel is free. Built by level sweeps
// over the flat tables, with no queue.
#pragma once

#include <cstdint>
#include <cstdio>

#include "parallel/worker_pool.h"
#include "pattern/pattern_database.h"

// Distance of a state not reached yet.
inline constexpr std::uint8_t kUnreached = 255;

// One pass over all states in index order, on the calling thread. Every state whose distance
// is set and at least `minSource` gives each unreached successor the distance `target` when its
// own distance plus the slide's count equals it. States set during the pass act as sources
// later in the same pass. Returns true when it set at least one distance; stops as soon as all
// are set. Free passes sweep(L, L) until one changes nothing, then the step pass
// sweep(L + 1, L), level after level, give the table that the build gives.
bool sweep(PatternDatabase& database, unsigned target, unsigned minSource);

// Requires the move and count tables. Allocates and fills distanceTable, level by level on all
// of `workers` (the table does not depend on how many there are), sets filledCount to
// stateCount and releases countTable. Returns false after printing
// "Failed to allocate memory for data base." to `out` (unless null) when the allocation fails.
bool buildDistanceTable(PatternDatabase& database, WorkerPool& workers, std::FILE* out = stdout);

// The same on the calling thread alone.
bool buildDistanceTable(PatternDatabase& database, std::FILE* out = stdout);
