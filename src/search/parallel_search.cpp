#include "search/parallel_search.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <limits>
#include <utility>

#include "platform/output.h"

namespace {

// The moves from the root to a frontier node are kept two bits a move.
constexpr unsigned kMaxFrontierDepth = 32;
// Every node but the root has at most three children to search.
constexpr std::uint64_t kMaxChildren = 3;
// Room for the frontier, per unit wanted. A frontier is deepened only while it has fewer units
// than wanted, so the first depth with enough has fewer than three times as many; depth 1
// (the root's four children at most) fits as at least two are wanted.
constexpr std::size_t kCapacityPerUnitWanted = kMaxChildren;
constexpr std::size_t kNoUnit = std::numeric_limits<std::size_t>::max();
constexpr std::int64_t kNothingAbandoned = std::numeric_limits<std::int64_t>::max();
// Below every unit: the whole bound is given up.
constexpr std::int64_t kEverythingAbandoned = -1;
std::int64_t clockTicks() {
  return std::chrono::steady_clock::now().time_since_epoch().count();
}

}  // namespace

struct ParallelSearch::Unit {
  WalkNode node;              // the frontier node; the unit is the tree below it
  std::uint64_t moves;        // from the root to the node, two bits each, the root's first
  std::uint64_t nodesBefore;  // counted by the one-thread search up to and with the node
  std::uint64_t nodes;        // counted below the node; set by the worker that ran the unit
};

struct alignas(64) ParallelSearch::WorkerState {
  std::size_t solvedUnit = kNoUnit;  // the unit this worker found a solution in
  Direction path[kMaxBound + 1] = {};
};

ParallelSearch::ParallelSearch(WorkerPool& workers, std::FILE* output)
    : ParallelSearch(
          workers, output == nullptr ? StopCheck()
                                     : [output] { return platform::outputReaderGone(output); }) {}

ParallelSearch::ParallelSearch(WorkerPool& workers, StopCheck stopRequested)
    : workers_(&workers), workerCount_(workers.size()), stopRequested_(std::move(stopRequested)) {}

ParallelSearch::ParallelSearch(unsigned workers) : workers_(nullptr), workerCount_(workers) {}

ParallelSearch::~ParallelSearch() = default;

bool ParallelSearch::run(SearchContext& context, unsigned movesLeft, unsigned topLeftIndex,
                         unsigned topRightIndex, unsigned bottomLeftIndex,
                         unsigned bottomRightIndex, unsigned unitsWanted,
                         std::uint64_t frontierNodesAllowed) {
  assert(workers_ != nullptr);
  if (!split(context, movesLeft, topLeftIndex, topRightIndex, bottomLeftIndex, bottomRightIndex,
             unitsWanted, frontierNodesAllowed)) {
    return search(context, movesLeft, kNoDirection, topLeftIndex, topRightIndex, bottomLeftIndex,
                  bottomRightIndex);
  }
  auto task = [this](unsigned worker) { work(worker); };
  workers_->run(task);
  return finish(context, movesLeft);
}

bool ParallelSearch::split(const SearchContext& context, unsigned movesLeft, unsigned topLeftIndex,
                           unsigned topRightIndex, unsigned bottomLeftIndex,
                           unsigned bottomRightIndex, unsigned unitsWanted,
                           std::uint64_t frontierNodesAllowed) {
  lastSplit_ = {};
  const unsigned estimate =
      context.topLeftDistances[topLeftIndex] + context.topLeftDistances[topRightIndex] +
      context.topLeftDistances[bottomLeftIndex] + context.bottomRightDistances[bottomRightIndex];
  // Splitting needs a root that passes, a frontier node with a move left below it, and room
  // for the units.
  if (unitsWanted < 2 || movesLeft < 2 || estimate > movesLeft ||
      !reserve(std::size_t{unitsWanted} * kCapacityPerUnitWanted)) {
    return false;
  }

  // The shallowest frontier with enough units, each depth grown from the one above.
  units_[0] = {rootNode(topLeftIndex, topRightIndex, bottomLeftIndex, bottomRightIndex, movesLeft,
                        kNoDirection),
               0, 1, 0};
  unitCount_ = 1;
  nodesAbove_ = 1;
  frontierNodes_ = 1;
  unsigned depth = 0;
  // Deeper frontier nodes would have no move left below them, or no room for their moves.
  while (depth == 0 ||
         (unitCount_ < unitsWanted && depth + 1 < movesLeft && depth < kMaxFrontierDepth &&
          frontierNodes_ + kMaxChildren * unitCount_ <= frontierNodesAllowed)) {
    if (!deepen(context, depth, std::size_t{unitsWanted} * kCapacityPerUnitWanted)) break;
    ++depth;
  }

  context_ = &context;
  depth_ = depth;
  nextUnit_.store(0, std::memory_order_relaxed);
  abandonAfter_.store(kNothingAbandoned, std::memory_order_relaxed);
  for (unsigned worker = 0; worker < workerCount_; ++worker)
    states_[worker].solvedUnit = kNoUnit;
  return true;
}

void ParallelSearch::stop() noexcept {
  abandonAfter_.store(kEverythingAbandoned, std::memory_order_relaxed);
}

bool ParallelSearch::finish(SearchContext& context, unsigned movesLeft) {
  const unsigned depth = depth_;
  const std::int64_t abandonAfter = abandonAfter_.load(std::memory_order_relaxed);
  if (abandonAfter == kEverythingAbandoned) {
    lastSplit_ = {depth, unitCount_, 0, abandonAfter, true, frontierNodes_};
    context.nodeCount += nodesAbove_;
    return false;
  }
  // Units are taken in order and none before a solution is abandoned, so the lowest solved
  // unit is the one-thread search's, and every unit before it ran to its end.
  const WorkerState* solver = nullptr;
  for (unsigned worker = 0; worker < workerCount_; ++worker) {
    if (solver == nullptr || states_[worker].solvedUnit < solver->solvedUnit)
      solver = &states_[worker];
  }
  lastSplit_ = {depth, unitCount_, solver->solvedUnit, abandonAfter, false, frontierNodes_};
  const std::size_t counted = solver->solvedUnit == kNoUnit ? unitCount_ : solver->solvedUnit;
  std::uint64_t nodes = 0;
  for (std::size_t unit = 0; unit < counted; ++unit)
    nodes += units_[unit].nodes;
  if (solver->solvedUnit == kNoUnit) {
    context.nodeCount += nodesAbove_ + nodes;
    return false;
  }
  const Unit& solved = units_[solver->solvedUnit];
  context.nodeCount += solved.nodesBefore + nodes + solved.nodes;
  // The walk wrote the moves below the frontier; the frontier path holds the ones above it.
  std::copy_n(solver->path, movesLeft - depth, context.path);
  for (unsigned move = 0; move < depth; ++move)
    context.path[movesLeft - 1 - move] = static_cast<Direction>(solved.moves >> (2 * move) & 3);
  return true;
}

std::uint64_t ParallelSearch::unitNodes(std::size_t unit) const {
  assert(unit < unitCount_);
  return units_[unit].nodes;
}

bool ParallelSearch::reserve(std::size_t capacity) noexcept {
  return (units_.size() >= capacity || units_.allocate(capacity)) &&
         (spare_.size() >= capacity || spare_.allocate(capacity)) &&
         (states_.size() == workerCount_ || states_.allocate(workerCount_));
}

// Replaces the frontier by its children, in the one-thread order, counting every child as
// search does. Keeps the frontier as it is, and says so, when the children are no more units
// (the bound narrows there) or more than `room`, the run's reserved share of the storage.
bool ParallelSearch::deepen(const SearchContext& context, unsigned depth, std::size_t room) {
  std::uint64_t counted = 0;  // children so far, each before any unit below it
  std::size_t grown = 0;
  bool fits = true;
  for (std::size_t unit = 0; unit < unitCount_ && fits; ++unit) {
    const Unit& parent = units_[unit];
    for (int direction = 0; direction < kDirections; ++direction) {
      WalkNode child;
      unsigned estimate = 0;
      if (!childOf(context, parent.node, direction, child, estimate)) continue;
      ++counted;
      if (estimate > child.movesLeft) continue;
      if (grown == room) {
        fits = false;
        break;
      }
      spare_[grown++] = {child, parent.moves | std::uint64_t(direction) << (2 * depth),
                         parent.nodesBefore + counted, 0};
    }
  }
  frontierNodes_ += counted;
  // The root is never a unit, so its children are taken whatever their number.
  if (!fits || (depth > 0 && grown <= unitCount_)) return false;
  units_.swap(spare_);
  unitCount_ = grown;
  nodesAbove_ += counted;
  return true;
}

void ParallelSearch::work(unsigned worker) {
  do {
    // Only the calling thread asks, so that the question may be anything its caller likes.
    if (worker == 0 && stopRequested_) askToStop();
  } while (runUnit(worker));
}

bool ParallelSearch::runUnit(unsigned worker) {
  WorkerState& state = states_[worker];
  const std::size_t unit = nextUnit_.fetch_add(1, std::memory_order_relaxed);
  if (unit >= unitCount_) return false;
  const auto index = static_cast<std::int64_t>(unit);
  if (index > abandonAfter_.load(std::memory_order_relaxed)) return false;
  const WalkResult result = walkBelow(*context_, units_[unit].node, state.path, units_[unit].nodes,
                                      &abandonAfter_, index);
  if (result != WalkResult::kSolved) return true;
  // Later units are not wanted; earlier ones still run, as their counts are.
  state.solvedUnit = unit;
  std::int64_t after = abandonAfter_.load(std::memory_order_relaxed);
  while (index < after && !abandonAfter_.compare_exchange_weak(after, index)) {
  }
  return false;
}

void ParallelSearch::askToStop() {
  const std::int64_t now = clockTicks();
  if (now < nextStopCheck_) return;
  nextStopCheck_ = now + std::chrono::steady_clock::duration(kStopCheckEvery).count();
  if (stopRequested_()) stop();
}
