#include "run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <zelvar/zelvar.h>

#include "line_reader.h"
#include "progress.h"
#include "resume.h"
#include "system.h"

namespace batch {
namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// Standard input is borrowed: closing it would be wrong.
int leaveOpen(std::FILE*) {
  return 0;
}

std::string displayName(const std::string& name) {
  return name == "-" ? "standard input" : name;
}

void complain(const std::string& message) {
  std::fprintf(stderr, "zelvar-batch: %s\n", message.c_str());
}

// Opens an input for reading; nullptr with `reason` set when it cannot be read.
File openInput(const std::string& name, std::string& reason) {
  if (name == "-") {
    if (standardInputOpen()) return File(stdin, &leaveOpen);
    reason = std::strerror(EBADF);
    return File(nullptr, &leaveOpen);
  }
  std::error_code code;
  // A directory opens on some systems, and only its first read fails.
  if (std::filesystem::is_directory(name, code)) {
    reason = std::strerror(EISDIR);
    return File(nullptr, &std::fclose);
  }
  File file(std::fopen(name.c_str(), "rb"), &std::fclose);
  if (!file) reason = std::strerror(errno);
  return file;
}

// The inputs, read one after the other; each position line of this shard once.
class Inputs {
 public:
  Inputs(const std::vector<std::string>& names, unsigned shard, unsigned shards)
      : names_(names), shard_(shard), shards_(shards) {}

  // The next position line of the shard and the index of its file. False at the end of the
  // inputs and when one cannot be read (error() then says why).
  bool next(PositionLine& line, std::size_t& fileIndex) {
    while (true) {
      if (!reader_) {
        if (fileIndex_ == names_.size()) return false;
        std::string reason;
        file_ = openInput(names_[fileIndex_], reason);
        if (!file_) {
          error_ = displayName(names_[fileIndex_]) + ": " + reason;
          return false;
        }
        reader_.emplace(file_.get());
      }
      if (!reader_->next(line)) {
        if (reader_->failed()) {
          error_ = displayName(names_[fileIndex_]) + ": " + std::strerror(reader_->errorNumber());
          return false;
        }
        reader_.reset();
        file_.reset();
        ++fileIndex_;
        continue;
      }
      if (index_++ % shards_ != shard_) continue;
      fileIndex = fileIndex_;
      return true;
    }
  }

  const std::string& error() const noexcept { return error_; }

 private:
  const std::vector<std::string>& names_;
  unsigned shard_;
  unsigned shards_;
  std::size_t fileIndex_ = 0;
  std::uint64_t index_ = 0;  // of the next position line over all inputs
  File file_{nullptr, &leaveOpen};
  std::optional<LineReader> reader_;
  std::string error_;
};

// The records the run will have, when every input is a file that can be read twice.
std::optional<std::uint64_t> countRecords(const Options& options,
                                          const std::vector<std::string>& names) {
  std::error_code code;
  for (const std::string& name : names) {
    if (name == "-" || !std::filesystem::is_regular_file(name, code)) return std::nullopt;
  }
  Inputs inputs(names, options.shard, options.shards);
  PositionLine line;
  std::size_t fileIndex = 0;
  std::uint64_t count = 0;
  while (inputs.next(line, fileIndex))
    ++count;
  if (!inputs.error().empty()) return std::nullopt;
  return count;
}

// Where the records go, and whether they still can.
class Output {
 public:
  Output(std::FILE* stream, std::string name) : stream_(stream), name_(std::move(name)) {}

  // Writes and flushes `text` whole, so that a record is out as soon as it is done and a run
  // that is killed leaves at most its last line torn. False once the output has failed.
  bool write(const std::string& text) {
    if (failed_) return false;
    if (std::fwrite(text.data(), 1, text.size(), stream_) != text.size() ||
        std::fflush(stream_) != 0) {
      fail();
    }
    return !failed_;
  }

  // Closes the stream when it is owned (-o FILE), else flushes it.
  bool close(bool owned) {
    const bool flushed = owned ? std::fclose(stream_) == 0 : std::fflush(stream_) == 0;
    if (!flushed && !failed_) fail();
    return !failed_;
  }

  bool failed() const noexcept { return failed_; }
  // Asks, without writing, whether the reader has left; then the output has failed.
  bool readerGone() noexcept {
    if (!failed_ && batch::readerGone(stream_)) failed_ = true;
    return failed_;
  }
  std::FILE* stream() const noexcept { return stream_; }

 private:
  void fail() {
    // A reader that leaves ends the run quietly, as it ends the interactive program's.
    if (errno != EPIPE) complain(name_ + ": " + std::strerror(errno));
    failed_ = true;
  }

  std::FILE* stream_;  // borrowed
  std::string name_;
  bool failed_ = false;
};

struct Pending {
  std::size_t fileIndex;
  std::uint64_t line;
};

// The solver's options; the 7-8 tables' notices go to standard error, and their build's
// progress to `terminal` (may be null) as a line of its own.
zelvar::SolverOptions solverOptionsFor(const Options& options, std::FILE* terminal) {
  zelvar::SolverOptions solverOptions;
  solverOptions.workers = options.workers;
  solverOptions.heuristic = options.heuristic;
  solverOptions.tablesDirectory = options.tables;
  solverOptions.onNotice = [](std::string_view line) { complain(std::string(line)); };
  if (terminal != nullptr) {
    solverOptions.onBuildProgress = [terminal](double share) {
      std::fprintf(terminal, "\rzelvar-batch: building the 7-8 tables: %3.0f%%%s", share * 100,
                   share >= 1 ? "\n" : "");
      std::fflush(terminal);
    };
  }
  return solverOptions;
}

// --build-tables: the 7-8 tables made ready, and nothing solved.
int buildTables(const Options& options) {
  Options building = options;
  building.heuristic = zelvar::Heuristic::additive78;
  const zelvar::Solver solver(solverOptionsFor(building, isTerminal(stderr) ? stderr : nullptr));
  if (!solver.error().empty()) {
    complain(solver.error());
    return 2;
  }
  return 0;
}

}  // namespace

int runBatch(const Options& options) {
  if (options.buildTables) return buildTables(options);
  std::vector<std::string> names = options.files;
  if (names.empty()) names.push_back("-");
  // Every input is looked at first, so that a mistyped name stops the run before anything is
  // written. A pipe or device is only opened when its turn comes: opening it twice could lose
  // what its writer sends.
  for (const std::string& name : names) {
    std::error_code code;
    const auto status = std::filesystem::status(name, code);
    if (name != "-" && !code && !std::filesystem::is_regular_file(status) &&
        !std::filesystem::is_directory(status))
      continue;
    std::string reason;
    if (!openInput(name, reason)) {
      complain(displayName(name) + ": " + reason);
      return 2;
    }
  }

  const RecordLayout layout{options.format, names.size() > 1, options.withTimes};
  ResumePoint resumed;
  if (options.resume) {
    const std::string reason = prepareResume(options.output, layout, resumed);
    if (!reason.empty()) {
      complain(options.output + ": " + reason);
      return 2;
    }
  }
  File ownOutput(nullptr, &std::fclose);
  if (!options.output.empty()) {
    ownOutput.reset(std::fopen(options.output.c_str(), options.resume ? "ab" : "wb"));
    if (!ownOutput) {
      complain(options.output + ": " + std::strerror(errno));
      return 2;
    }
  }
  Output output(ownOutput ? ownOutput.get() : stdout,
                ownOutput ? options.output : std::string("standard output"));

  // Records shown on the terminal are progress enough, and a progress line would cut them.
  std::FILE* terminal = isTerminal(stderr) && !isTerminal(output.stream()) ? stderr : nullptr;
  Progress progress(terminal, terminal ? countRecords(options, names) : std::nullopt,
                    resumed.records);

  const zelvar::Solver solver(solverOptionsFor(options, terminal));
  if (!solver.error().empty()) {
    complain(solver.error());
    return 2;
  }

  if (layout.format == Format::csv && !resumed.hasHeader) output.write(header(layout));

  Inputs inputs(names, options.shard, options.shards);
  std::string mismatch;  // why the records to continue do not belong to these inputs
  std::uint64_t skipped = 0;
  std::deque<Pending> pending;  // drawn and not yet written, in input order
  std::mutex mutex;             // in case the library calls back from more than one thread
  bool anyRejected = resumed.anyRejected;

  const auto next = [&](zelvar::Position& position) {
    const std::lock_guard lock(mutex);
    const std::string notOurs =
        options.output + ": its records do not match these inputs and options";
    PositionLine line;
    std::size_t fileIndex = 0;
    while (!output.failed() && mismatch.empty() && inputs.next(line, fileIndex)) {
      if (skipped < resumed.records) {
        // The kept records stand for this shard's first lines; the last one's line number
        // tells whether they came from these inputs.
        if (++skipped == resumed.records && line.number != resumed.lastLine) mismatch = notOurs;
        continue;
      }
      pending.push_back({fileIndex, line.number});
      position = std::move(line.text);
      return true;
    }
    if (skipped < resumed.records && inputs.error().empty() && mismatch.empty()) mismatch = notOurs;
    return false;
  };
  const auto done = [&](zelvar::Solution&& solution) {
    const std::lock_guard lock(mutex);
    if (solution.status == zelvar::Status::stopped || pending.empty()) return false;
    const Pending drawn = pending.front();
    pending.pop_front();
    if (!solution.solved() && solution.status != zelvar::Status::unsolvable) anyRejected = true;
    const std::string file = layout.withFile ? names[drawn.fileIndex] : std::string();
    if (!output.write(record(layout, drawn.line, file, solution))) return false;
    progress.recordDone();
    return true;
  };
  zelvar::SolveOptions solveOptions;
  solveOptions.goal = options.goal;
  solveOptions.stopRequested = [&] {
    const std::lock_guard lock(mutex);
    progress.tick();
    return output.readerGone();
  };
  solver.solveMany(next, done, solveOptions);

  const bool closed = output.close(ownOutput != nullptr);
  ownOutput.release();
  progress.finish();
  if (!closed) return 2;
  if (!inputs.error().empty() || !mismatch.empty()) {
    complain(mismatch.empty() ? inputs.error() : mismatch);
    return 2;
  }
  return anyRejected ? 1 : 0;
}

}  // namespace batch
