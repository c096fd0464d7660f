// zelvar-batch's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <zelvar/zelvar.h>

#include "records.h"

namespace batch {

struct Options {
  std::vector<std::string> files;  // in order; "-" is standard input; none: standard input
  Format format = Format::jsonl;
  zelvar::Goal goal = zelvar::Goal::blankLast;
  bool withTimes = true;
  unsigned workers = 0;  // 0: one per CPU the process may run on
  std::string output;    // empty: standard output
  bool resume = false;
  unsigned shard = 0;  // this run takes the position lines whose index modulo shards is shard
  unsigned shards = 1;
  zelvar::Heuristic heuristic = zelvar::Heuristic::zelvar;
  std::string tables;        // the 7-8 tables' folder; empty: the cache folder
  bool buildTables = false;  // build (or check) the 7-8 tables and stop
  bool help = false;
  bool version = false;
};

// The options of `arguments` (without the program's name), or nullopt with `error` set to a
// one-line reason for a usage error.
std::optional<Options> parseOptions(const std::vector<std::string>& arguments, std::string& error);

// What --help prints.
std::string usage();

}  // namespace batch
