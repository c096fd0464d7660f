// The interactive program's heuristic behind the library's engine interface: two pattern
// databases, four lookups a node.
#include <algorithm>
#include <utility>

#include "api/engine.h"
#include "pattern/distance_table.h"
#include "pattern/move_table.h"
#include "pattern/pattern_database.h"
#include "search/parallel_search.h"
#include "search/position_search.h"

namespace zelvar::detail {

namespace {

constexpr char kMoveTableFailure[] = "Failed to allocate memory for move table.";
constexpr char kCountTableFailure[] = "Failed to allocate memory for count table.";
constexpr char kDistanceTableFailure[] = "Failed to allocate memory for data base.";
// The engine object itself comes before its tables: a move table is what would fail next.
constexpr char kEngineFailure[] = "Failed to allocate memory for move table.";

class ZelvarUnits final : public SharedUnits {
 public:
  explicit ZelvarUnits(unsigned lanes) : parallel(lanes), lanes(lanes) {}
  bool runUnit(unsigned lane) override { return parallel.runUnit(lane); }
  void stop() noexcept override { parallel.stop(); }

  ParallelSearch parallel;
  const unsigned lanes;
};

class ZelvarDeepening final : public Deepening {
 public:
  ZelvarDeepening(const PatternDatabase& topLeft, const PatternDatabase& bottomRight,
                  Board& position, WorkerPool& workers, std::function<bool()> stopRequested)
      : search_(topLeft, bottomRight, position),
        workers_(workers),
        splitAlone_(static_cast<bool>(stopRequested)),
        parallel_(workers, std::move(stopRequested)) {}

  unsigned estimate() const override { return search_.estimate(); }
  std::vector<unsigned> estimateTerms() const override {
    return {search_.terms().begin(), search_.terms().end()};
  }

  BoundResult runBound(unsigned bound) override {
    const SplitPlan plan = search_.nextPlan(workers_.size(), splitAlone_);
    if (search_.runBound(bound, parallel_, plan)) return BoundResult::found;
    return parallel_.lastSplit().stopped ? BoundResult::stopped : BoundResult::exhausted;
  }

  bool shareBound(unsigned bound, SharedUnits& units, unsigned lanes, unsigned maxUnits) override {
    SplitPlan plan = search_.nextPlan(lanes, true);
    plan.units = std::min(plan.units, maxUnits);
    return plan.units > 1 &&
           search_.splitBound(bound, static_cast<ZelvarUnits&>(units).parallel, plan);
  }

  BoundResult finishBound(unsigned bound, SharedUnits& units) override {
    ParallelSearch& parallel = static_cast<ZelvarUnits&>(units).parallel;
    if (search_.finishBound(bound, parallel)) return BoundResult::found;
    return parallel.lastSplit().stopped ? BoundResult::stopped : BoundResult::exhausted;
  }

  BoundResult searchBound(unsigned bound) override {
    return search_.searchBound(bound) ? BoundResult::found : BoundResult::exhausted;
  }

  std::uint64_t boundNodes() const override { return search_.boundNodes(); }

  void directions(unsigned length, std::vector<int>& directions) const override {
    directions.clear();
    for (unsigned k = length; k-- > 0;)
      directions.push_back(search_.path()[k]);
  }

 private:
  PositionSearch search_;
  WorkerPool& workers_;  // borrowed for runBound
  const bool splitAlone_;
  ParallelSearch parallel_;  // for runBound
};

class ZelvarEngine final : public Engine, public FailsEmpty {
 public:
  ZelvarEngine() : bottomRight_(4, kBottomRightPattern), topLeft_(5, kTopLeftPattern) {}

  // The program's order of builds; the first failure's message, or null.
  const char* build(WorkerPool& workers) {
    for (PatternDatabase* database : {&bottomRight_, &topLeft_}) {
      if (!buildMoveTable(*database, workers, nullptr))
        return database->moveTable ? kCountTableFailure : kMoveTableFailure;
      if (!buildDistanceTable(*database, workers, nullptr)) return kDistanceTableFailure;
    }
    prepareForSearch(bottomRight_, workers);
    prepareForSearch(topLeft_, workers);
    return nullptr;
  }

  std::unique_ptr<Deepening> start(Board& position, WorkerPool& workers,
                                   std::function<bool()> stopRequested) const override {
    return std::make_unique<ZelvarDeepening>(topLeft_, bottomRight_, position, workers,
                                             std::move(stopRequested));
  }

  std::unique_ptr<SharedUnits> sharedUnits(unsigned lanes) const override {
    return std::make_unique<ZelvarUnits>(lanes);
  }

 private:
  PatternDatabase bottomRight_;
  PatternDatabase topLeft_;
};

}  // namespace

std::unique_ptr<Engine> buildZelvarEngine(WorkerPool& workers, const char*& error) noexcept {
  std::unique_ptr<ZelvarEngine> engine(new (std::nothrow) ZelvarEngine());
  error = engine ? engine->build(workers) : kEngineFailure;
  if (error != nullptr) return nullptr;
  return engine;
}

}  // namespace zelvar::detail
