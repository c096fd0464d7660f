// Successor and cost tables of a pattern database: for every state and direction, the state
// reached by the slide and whether the slide moves a tracked tile.
#pragma once

#include <cstdio>

#include "pattern/pattern_database.h"

// Allocates and fills moveTable and countTable. Returns false after printing
// "Failed to allocate memory for move table." or "... count table." to `out` when an
// allocation fails; a move table already allocated then stays with the database.
bool buildMoveTable(PatternDatabase& database, std::FILE* out = stdout);
