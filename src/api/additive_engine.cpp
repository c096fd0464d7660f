// The additive 7-8 heuristic behind the library's engine interface: its tables from the file
// kept on disk (built and written there when missing or damaged), and one search per position
// on the thread that solves it.
#include <chrono>
#include <new>
#include <string>
#include <utility>

#include "api/engine.h"
#include "pattern/table_file.h"
#include "search/additive_search.h"

namespace zelvar::detail {

namespace {

// Asks the caller's stop question at most about ten times a second.
class StopPoll final : public AdditiveObserver {
 public:
  explicit StopPoll(std::function<bool()> question) : question_(std::move(question)) {}
  bool stopNow() override {
    if (!question_) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now - asked_ < std::chrono::milliseconds(100)) return false;
    asked_ = now;
    return question_();
  }

 private:
  std::function<bool()> question_;
  std::chrono::steady_clock::time_point asked_ = std::chrono::steady_clock::now();
};

class AdditiveDeepening final : public Deepening {
 public:
  AdditiveDeepening(const AdditiveTables& tables, const Board& position,
                    std::function<bool()> stopRequested)
      : search_(tables, position), poll_(std::move(stopRequested)) {}

  unsigned estimate() const override { return search_.estimate().value(); }
  std::vector<unsigned> estimateTerms() const override {
    const AdditiveEstimate terms = search_.estimate();
    return {terms.seven, terms.eight, terms.reflectedSeven, terms.reflectedEight};
  }

  // One position's bounds run on its own thread: positions are many, and a 7-8 solve is
  // milliseconds.
  BoundResult runBound(unsigned bound) override {
    const bool found = search_.runBound(bound, &poll_);
    if (search_.stopped()) return BoundResult::stopped;
    return found ? BoundResult::found : BoundResult::exhausted;
  }
  bool shareBound(unsigned, SharedUnits&, unsigned, unsigned) override { return false; }
  BoundResult finishBound(unsigned, SharedUnits&) override { return BoundResult::exhausted; }
  BoundResult searchBound(unsigned bound) override {
    return search_.runBound(bound) ? BoundResult::found : BoundResult::exhausted;
  }

  std::uint64_t boundNodes() const override { return search_.nodes(); }

  void directions(unsigned length, std::vector<int>& directions) const override {
    directions.resize(length);
    for (unsigned k = 0; k < length; ++k)
      directions[k] = search_.path()[length - 1 - k];
  }

 private:
  AdditiveSearch search_;
  StopPoll poll_;
};

class NoUnits final : public SharedUnits {
 public:
  bool runUnit(unsigned) override { return false; }
  void stop() noexcept override {}
};

class AdditiveEngine final : public Engine, public FailsEmpty {
 public:
  // Empty on success, else why there are no tables.
  std::string load(WorkerPool& workers, const SolverOptions& options) {
    AdditiveTableOptions tableOptions;
    tableOptions.directory = options.tablesDirectory;
    tableOptions.notice = options.onNotice;
    tableOptions.progress = options.onBuildProgress;
    const std::string error = loadAdditiveTables(tables_, tableOptions, workers);
    view_ = {tables_.eight(), tables_.seven()};
    return error;
  }

  std::unique_ptr<Deepening> start(Board& position, WorkerPool&,
                                   std::function<bool()> stopRequested) const override {
    return std::make_unique<AdditiveDeepening>(view_, position, std::move(stopRequested));
  }

  std::unique_ptr<SharedUnits> sharedUnits(unsigned) const override {
    return std::make_unique<NoUnits>();
  }

 private:
  AdditiveTableSet tables_;
  AdditiveTables view_;
};

}  // namespace

std::unique_ptr<Engine> buildAdditiveEngine(WorkerPool& workers, const SolverOptions& options,
                                            const char*& error) {
  std::unique_ptr<AdditiveEngine> engine(new (std::nothrow) AdditiveEngine());
  error = kAdditiveMemoryMessage;
  if (!engine) return nullptr;
  try {
    if (!engine->load(workers, options).empty()) return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  error = nullptr;
  return engine;
}

}  // namespace zelvar::detail
