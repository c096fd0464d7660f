// Successor and cost tables of a pattern database: for every state and direction, the state
// reached by the slide and whether the slide moves a tracked tile.
#pragma once

#include <cstdio>

#include "parallel/worker_pool.h"
#include "pattern/pattern_database.h"

// Allocates and fills moveTable and countTable, the filling on all of `workers`; the tables do
// not depend on how many there are. Returns false after printing
// "Failed to allocate memory for move table." or "... count table." to `out` when an
// allocation fails (nothing when `out` is null); a move table already allocated then stays with
// the database.
bool buildMoveTable(PatternDatabase& database, WorkerPool& workers, std::FILE* out = stdout);

// The same on the calling thread alone.
bool buildMoveTable(PatternDatabase& database, std::FILE* out = stdout);
