// The solver's two databases as the search reads them: built, then prepared for the search as
// runSolver leaves them. builtDatabases() keeps the plain tables to compare with.
#pragma once

#include "pattern/built_databases.h"
#include "search/search.h"

struct PreparedDatabases : BuiltDatabases {
  PreparedDatabases() {
    if (!built) return;
    prepareForSearch(bottomRight);
    prepareForSearch(topLeft);
  }
};

inline const PreparedDatabases& preparedDatabases() {
  static const PreparedDatabases databases;
  return databases;
}

// A context for searching the prepared tables.
inline SearchContext contextOf(const PreparedDatabases& built) {
  SearchContext context;
  context.topLeftMoves = built.topLeft.moveTable.get();
  context.bottomRightMoves = built.bottomRight.moveTable.get();
  context.topLeftDistances = built.topLeft.distanceTable.get();
  context.bottomRightDistances = built.bottomRight.distanceTable.get();
  return context;
}
