// Runs solve() into memory and takes its report apart, insisting on the exact line formats.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "search/prepared_databases.h"
#include "search/reference_search.h"
#include "search/solver.h"
#include "support/output_capture.h"
#include "support/worked_examples.h"

struct SolveRun {
  std::string text;
  SolveSummary summary;
  Board after;                       // the position once solve() has returned
  std::uint64_t nodeCountAfter = 0;  // left in the context, which the solver resets
};

// The databases must be prepared for the search.
inline SolveRun runSolve(const Board& position, const PatternDatabase& topLeft,
                         const PatternDatabase& bottomRight, unsigned workerCount = 1) {
  SolveRun run{"", {}, position, 0};
  SearchContext context;
  context.nodeCount = 12345;
  WorkerPool workers(workerCount);
  run.text = captureOutput([&](std::FILE* out) {
    run.summary = solve(context, topLeft, bottomRight, run.after, workers, out);
  });
  run.nodeCountAfter = context.nodeCount;
  return run;
}

inline SolveRun runSolve(const Board& position, unsigned workerCount = 1) {
  return runSolve(position, preparedDatabases().topLeft, preparedDatabases().bottomRight,
                  workerCount);
}

// The moves as solve() prints them: "%2u%c " each, a newline after every fifteenth.
inline std::string renderMoves(const std::vector<Move>& moves) {
  std::string text;
  for (std::size_t i = 0; i < moves.size(); ++i) {
    char token[8];
    std::snprintf(token, sizeof token, "%2u%c ", moves[i].tile, moves[i].letter);
    text += token;
    if ((i + 1) % 15 == 0) text += "\n";
  }
  return text;
}

// The moves of a direction sequence applied to `start`, named as the solver names them.
inline std::vector<Move> movesOf(reference::Position start, const std::vector<int>& directions) {
  std::vector<Move> moves;
  for (int direction : directions) {
    const int tile = reference::slideTile(start, direction);
    moves.push_back({static_cast<unsigned>(tile), "UDLR"[direction]});
  }
  return moves;
}

// Plays printed moves on `position`, each named by the tile and the way it travels. Returns
// what went wrong, or an empty string.
inline std::string replay(reference::Position& position, const std::vector<Move>& moves) {
  for (std::size_t i = 0; i < moves.size(); ++i) {
    const std::string where = "move " + std::to_string(i + 1);
    const char* letter = std::strchr("UDLR", moves[i].letter);
    if (moves[i].letter == 0 || letter == nullptr) return where + ": bad letter";
    int cell = 0;
    while (cell < 16 && position.tiles[cell] != static_cast<int>(moves[i].tile))
      ++cell;
    if (cell == 16 || moves[i].tile == 0) return where + ": no such tile";
    const int row = cell / 4 + (*letter == 'D') - (*letter == 'U');
    const int column = cell % 4 + (*letter == 'R') - (*letter == 'L');
    if (row < 0 || row > 3 || column < 0 || column > 3 || position.tiles[row * 4 + column] != 0) {
      return where + ": the blank is not there";
    }
    position.tiles[row * 4 + column] = position.tiles[cell];
    position.tiles[cell] = 0;
    position.blank = cell;
  }
  return "";
}

struct Report {
  std::string error;  // empty when every line had its exact format
  unsigned terms[4] = {};
  unsigned estimate = 0;
  std::vector<unsigned> bounds;
  std::vector<std::uint64_t> nodes;
  std::uint64_t total = 0;
  bool rateLine = false;
  bool noSolution = false;
  std::vector<Move> moves;
};

inline Report parseReport(const std::string& text) {
  Report report;
  std::istringstream in(text);
  std::string line;
  char expected[128];
  auto fail = [&](const std::string& what) {
    report.error = what + ": \"" + line + "\"";
    return report;
  };

  if (!std::getline(in, line)) return fail("no estimate line");
  if (std::sscanf(line.c_str(), "Initial estimate: %u + %u + %u + %u = %u moves", &report.terms[0],
                  &report.terms[1], &report.terms[2], &report.terms[3], &report.estimate) != 5) {
    return fail("estimate line");
  }
  std::snprintf(expected, sizeof expected, "Initial estimate: %u + %u + %u + %u = %u moves",
                report.terms[0], report.terms[1], report.terms[2], report.terms[3],
                report.estimate);
  if (line != expected) return fail("estimate line format");

  while (std::getline(in, line)) {
    unsigned bound = 0;
    unsigned long long nodes = 0;
    if (std::sscanf(line.c_str(), "%u moves: %llu nodes", &bound, &nodes) != 2) break;
    std::snprintf(expected, sizeof expected, "%4u moves: %10llu nodes", bound, nodes);
    if (line != expected) return fail("bound line format");
    report.bounds.push_back(bound);
    report.nodes.push_back(nodes);
  }

  unsigned long long total = 0;
  if (std::sscanf(line.c_str(), "%llu nodes total", &total) != 1) return fail("total line");
  std::snprintf(expected, sizeof expected, "%llu nodes total", total);
  if (line != expected) return fail("total line format");
  report.total = total;

  double seconds = 0;
  if (!std::getline(in, line) || std::sscanf(line.c_str(), "%lf seconds", &seconds) != 1) {
    return fail("seconds line");
  }
  std::snprintf(expected, sizeof expected, "%f seconds", seconds);
  if (line != expected) return fail("seconds line format");

  // Whatever follows the timing: an optional rate line, then the verdict or the moves.
  std::string rest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t rateEnd = rest.find(" nodes per second\n");
  if (rateEnd != std::string::npos && rest.find('\n') == rateEnd + 17) {
    report.rateLine = true;
    line = rest.substr(0, rateEnd);
    double rate = 0;
    if (std::sscanf(line.c_str(), "%lf", &rate) != 1) return fail("rate line");
    std::snprintf(expected, sizeof expected, "%f", rate);
    if (line != expected) return fail("rate line format");
    rest.erase(0, rateEnd + 18);
  }
  // The clock counts whole milliseconds, so a zero reading prints as exactly 0.000000.
  if (report.rateLine != (seconds != 0)) {
    line = std::to_string(seconds);
    return fail("rate line present exactly when time passed");
  }

  if (rest == "No solution found.\n") {
    report.noSolution = true;
    return report;
  }
  std::istringstream tokens(rest);
  std::string token;
  while (tokens >> token) {
    unsigned tile = 0;
    char letter = 0;
    char extra = 0;
    if (std::sscanf(token.c_str(), "%u%c%c", &tile, &letter, &extra) != 2) {
      line = token;
      return fail("move token");
    }
    report.moves.push_back({tile, letter});
  }
  if (rest != renderMoves(report.moves)) {
    line = rest;
    return fail("move layout");
  }
  return report;
}
