// The solver's two databases as the search reads them: built, then prepared for the search as
// runSolver leaves them, on the same workers. builtDatabases() keeps the plain tables to
// compare with.
#pragma once

#include <map>
#include <memory>

#include "pattern/built_databases.h"
#include "search/search.h"

struct PreparedDatabases : BuiltDatabases {
  explicit PreparedDatabases(unsigned workers = 1) : BuiltDatabases(workers) {
    if (!built) return;
    WorkerPool pool(workers);
    prepareForSearch(bottomRight, pool);
    prepareForSearch(topLeft, pool);
  }
};

// Built on first use; the tests of a binary run on one thread.
inline const PreparedDatabases& preparedDatabases(unsigned workers = 1) {
  static std::map<unsigned, std::unique_ptr<const PreparedDatabases>> databases;
  std::unique_ptr<const PreparedDatabases>& slot = databases[workers];
  if (!slot) slot = std::make_unique<const PreparedDatabases>(workers);
  return *slot;
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
