#include "options.h"

#include <charconv>
#include <string_view>

namespace batch {
namespace {

// The whole of `text` as a number from `low` to `high`.
std::optional<unsigned> number(std::string_view text, unsigned low, unsigned high) {
  unsigned value = 0;
  const auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (code != std::errc() || end != text.data() + text.size() || value < low || value > high)
    return std::nullopt;
  return value;
}

// Far more workers than any machine's CPUs is a typing error.
constexpr unsigned kMaxWorkers = 4096;
constexpr unsigned kMaxShards = 1'000'000;

}  // namespace

std::optional<Options> parseOptions(const std::vector<std::string>& arguments, std::string& error) {
  Options options;
  bool outputGiven = false;
  bool onlyFiles = false;  // after "--"
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    if (onlyFiles || name == "-" || !name.starts_with("-")) {
      options.files.push_back(name);
      continue;
    }
    if (name == "--") {
      onlyFiles = true;
      continue;
    }
    // --name=value and -oFILE, as well as the value as the next argument.
    std::optional<std::string> attached;
    if (const std::size_t equals = name.find('='); name.starts_with("--") && equals != name.npos) {
      attached = name.substr(equals + 1);
      name.resize(equals);
    } else if (name.starts_with("-o") && name.size() > 2) {
      attached = name.substr(2);
      name = "-o";
    }
    const auto value = [&]() -> std::optional<std::string> {
      if (attached) return attached;
      if (i + 1 < arguments.size()) return arguments[++i];
      error = "option " + name + " needs a value";
      return std::nullopt;
    };
    const auto flag = [&]() {
      if (attached) error = "option " + name + " takes no value";
      return !attached;
    };
    if (name == "--help" || name == "-h") {
      if (!flag()) return std::nullopt;
      options.help = true;
    } else if (name == "--version") {
      if (!flag()) return std::nullopt;
      options.version = true;
    } else if (name == "--no-times") {
      if (!flag()) return std::nullopt;
      options.withTimes = false;
    } else if (name == "--resume") {
      if (!flag()) return std::nullopt;
      options.resume = true;
    } else if (name == "--format") {
      const auto text = value();
      if (!text) return std::nullopt;
      if (*text == "jsonl") {
        options.format = Format::jsonl;
      } else if (*text == "csv") {
        options.format = Format::csv;
      } else {
        error = "--format must be jsonl or csv, not '" + *text + "'";
        return std::nullopt;
      }
    } else if (name == "--goal") {
      const auto text = value();
      if (!text) return std::nullopt;
      if (*text == "blank-last") {
        options.goal = zelvar::Goal::blankLast;
      } else if (*text == "blank-first") {
        options.goal = zelvar::Goal::blankFirst;
      } else {
        error = "--goal must be blank-last or blank-first, not '" + *text + "'";
        return std::nullopt;
      }
    } else if (name == "--workers") {
      const auto text = value();
      if (!text) return std::nullopt;
      const auto workers = number(*text, 1, kMaxWorkers);
      if (!workers) {
        error = "--workers must be a number from 1 to " + std::to_string(kMaxWorkers) + ", not '" +
                *text + "'";
        return std::nullopt;
      }
      options.workers = *workers;
    } else if (name == "--shard") {
      const auto text = value();
      if (!text) return std::nullopt;
      const std::size_t slash = text->find('/');
      const auto shards =
          slash == text->npos ? std::nullopt : number(text->substr(slash + 1), 1, kMaxShards);
      const auto shard =
          shards ? number(text->substr(0, slash), 0, *shards - 1) : std::optional<unsigned>();
      if (!shard) {
        error = "--shard must be K/N with 0 <= K < N, not '" + *text + "'";
        return std::nullopt;
      }
      options.shard = *shard;
      options.shards = *shards;
    } else if (name == "-o" || name == "--output") {
      const auto text = value();
      if (!text) return std::nullopt;
      if (text->empty()) {
        error = "option " + name + " needs a file name";
        return std::nullopt;
      }
      options.output = *text;
      outputGiven = true;
    } else if (name == "--heuristic") {
      const auto text = value();
      if (!text) return std::nullopt;
      if (*text == "zelvar") {
        options.heuristic = zelvar::Heuristic::zelvar;
      } else if (*text == "7-8") {
        options.heuristic = zelvar::Heuristic::additive78;
      } else {
        error = "--heuristic must be zelvar or 7-8, not '" + *text + "'";
        return std::nullopt;
      }
    } else if (name == "--tables") {
      const auto text = value();
      if (!text) return std::nullopt;
      if (text->empty()) {
        error = "option --tables needs a folder";
        return std::nullopt;
      }
      options.tables = *text;
    } else if (name == "--build-tables") {
      // The folder is optional: the next argument, unless it is an option.
      if (attached) {
        options.tables = *attached;
      } else if (i + 1 < arguments.size() && !arguments[i + 1].starts_with("-")) {
        options.tables = arguments[++i];
      }
      if (options.tables.empty() && attached) {
        error = "option --build-tables needs a folder after =";
        return std::nullopt;
      }
      options.buildTables = true;
    } else {
      error = "unknown option '" + name + "' (see --help)";
      return std::nullopt;
    }
  }
  if (options.buildTables && (!options.files.empty() || outputGiven)) {
    error = "--build-tables takes no input files and writes no records";
    return std::nullopt;
  }
  if (options.resume && !outputGiven) {
    error = "--resume needs -o FILE: the records to continue";
    return std::nullopt;
  }
  return options;
}

std::string usage() {
  return R"(Usage: zelvar-batch [OPTIONS] [FILE...]
Solves the fifteen-puzzle positions in the FILEs (none or -: standard input),
one a line: sixteen numbers separated by white space or commas, 0 for the
blank. Blank lines and lines starting with # are skipped. Writes one record a
position line, in input order.

Options:
  --format jsonl|csv    one JSON object a line (the default), or CSV with a
                        header
  --goal blank-last|blank-first
                        the goal positions and moves are written against:
                        1 2 ... 15 0 (the default) or 0 1 2 ... 15
  --no-times            leave out each search's seconds, so that runs compare
                        byte for byte
  --workers N           solve on N threads (default: one per CPU this process
                        may use)
  --heuristic zelvar|7-8
                        the lower bound that guides the search: the
                        interactive program's (the default, no files) or
                        additive 7-8 pattern databases (about 200 times fewer
                        nodes; a 577 MB table file, built once in a few
                        minutes when missing or damaged)
  --tables DIR          the folder of the 7-8 table file (default:
                        $XDG_CACHE_HOME/zelvar, else ~/.cache/zelvar)
  --build-tables [DIR]  build the 7-8 table file (in DIR, or the --tables
                        folder) if it is missing or damaged, and exit
  -o, --output FILE     write the records to FILE instead of standard output
  --resume              continue a stopped run: keep FILE's complete records
                        and solve only the lines after them (needs -o FILE)
  --shard K/N           take only the position lines whose index, counted from
                        0 over all FILEs, is K modulo N; records keep their
                        line numbers
  -h, --help            print this help and exit
  --version             print the version and exit

Exit status: 0 when every line was solved or shown unsolvable, 1 when some line
was rejected (it still has its record), 2 for a usage error, an input that
cannot be read or an output that cannot be written.
)";
}

}  // namespace batch
