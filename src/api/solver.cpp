// The Solver: its tables, the checks of a position and one solve, bound by bound.
#include <chrono>
#include <new>
#include <utility>

#include "api/position.h"
#include "api/solver_impl.h"
#include "input/configuration.h"
#include "platform/cpu.h"
#include "search/search.h"

namespace zelvar {

namespace detail {

const char kSearchMemoryFailure[] = "Failed to allocate memory for the search.";
const char kStopped[] = "The solve was stopped.";
// Short enough to be held without the heap, which is exhausted when it is needed.
const char kNoTables[] = "No tables.";

namespace {

constexpr char kNoSolution[] = "No solution found.";
constexpr char kUnsolvable[] = "The puzzle can not be solved in this configuration.";
constexpr char kNotAvailable[] = "The 7-8 heuristic is not available in this build.";

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Iterative deepening from the estimate up on `workers`, with the caller's callbacks. All that
// may run out of memory is allocated before the first callback, so that a failure prints
// nothing half-way.
void deepen(const Engine& engine, Board& board, Goal goal, Solution& solution, Callbacks& callbacks,
            WorkerPool& workers) {
  std::function<bool()> stopRequested;
  if (callbacks.hasStopQuestion()) stopRequested = [&callbacks] { return !callbacks.goOn(); };
  const std::unique_ptr<Deepening> deepening =
      engine.start(board, workers, std::move(stopRequested));
  solution.estimate = deepening->estimate();
  solution.estimateTerms = deepening->estimateTerms();
  solution.bounds.reserve(solution.estimate > kMaxBound ? 0
                                                        : (kMaxBound - solution.estimate) / 2 + 1);
  solution.moves.reserve(kMaxBound);
  std::vector<int> directions;
  directions.reserve(kMaxBound);
  solution.error.reserve(sizeof kSearchMemoryFailure);
  if (!callbacks.estimate(solution)) {
    solution.status = Status::stopped;
    solution.error = kStopped;
    return;
  }

  const auto start = std::chrono::steady_clock::now();
  bool found = false;
  unsigned bound = solution.estimate;
  // Every move changes the estimate's parity, so only every second bound can succeed.
  for (; bound <= kMaxBound; bound += 2) {
    if (!callbacks.goOn() || !callbacks.boundStart(bound)) break;
    const BoundResult result = deepening->runBound(bound);
    if (result == BoundResult::stopped) break;
    solution.bounds.push_back({bound, deepening->boundNodes()});
    solution.nodes += deepening->boundNodes();
    const bool goOn = callbacks.boundEnd(solution.bounds.back());
    found = result == BoundResult::found;
    if (found || !goOn) break;
  }
  solution.seconds = secondsSince(start);
  if (found) {
    deepening->directions(bound, directions);
    finishSolved(solution, board, directions, goal);
  } else if (bound > kMaxBound) {
    solution.status = Status::noSolution;
    solution.error = kNoSolution;
  } else {
    solution.status = Status::stopped;
    solution.error = kStopped;
  }
}

}  // namespace

bool Callbacks::estimate(const Solution& solution) {
  return guarded([&] {
    if (options_.onEstimate) options_.onEstimate(solution);
    return true;
  });
}

bool Callbacks::boundStart(unsigned bound) {
  return guarded([&] { return !options_.onBoundStart || options_.onBoundStart(bound); });
}

bool Callbacks::boundEnd(const BoundCount& bound) {
  return guarded([&] { return !options_.onBoundEnd || options_.onBoundEnd(bound); });
}

bool Callbacks::goOn() {
  return guarded([&] { return !options_.stopRequested || !options_.stopRequested(); });
}

bool admitChecked(const std::string& problem, const Numbers& numbers, Goal goal, Solution& solution,
                  Board& board) {
  if (!problem.empty()) {
    solution.status = Status::rejected;
    solution.error = problem;
    return false;
  }
  solution.position = numbers;
  board = boardOf(numbers, goal);
  if (!isSolvable(board, nullptr)) {
    solution.status = Status::unsolvable;
    solution.error = kUnsolvable;
    return false;
  }
  return true;
}

bool admit(std::string_view text, Goal goal, Solution& solution, Board& board) {
  Numbers numbers{};
  const std::string problem = readNumbers(text, numbers);
  return admitChecked(problem, numbers, goal, solution, board);
}

bool admit(const Numbers& numbers, Goal goal, Solution& solution, Board& board) {
  return admitChecked(checkNumbers(numbers), numbers, goal, solution, board);
}

bool admit(const Position& position, Goal goal, Solution& solution, Board& board) {
  if (const auto* text = std::get_if<std::string>(&position))
    return admit(std::string_view(*text), goal, solution, board);
  return admit(std::get<Numbers>(position), goal, solution, board);
}

template <typename Given>
Solution solveOne(SolverCore* core, const Given& position, const SolveOptions& options) {
  Solution solution;
  Callbacks callbacks(options);
  try {
    Board board;
    if (!admit(position, options.goal, solution, board)) return solution;
    if (core == nullptr || !core->error.empty()) {
      fail(solution, core == nullptr ? kNoTables : core->error.c_str());
      return solution;
    }
    // The workers serve one call at a time; the others search on their own thread.
    std::unique_lock<std::mutex> lock(core->workersInUse, std::try_to_lock);
    WorkerPool alone(1);
    deepen(*core->engine, board, options.goal, solution, callbacks,
           lock.owns_lock() ? core->workers : alone);
  } catch (const std::bad_alloc&) {
    fail(solution, kSearchMemoryFailure);
  }
  callbacks.rethrow();
  return solution;
}

template Solution solveOne(SolverCore*, const std::string_view&, const SolveOptions&);
template Solution solveOne(SolverCore*, const Numbers&, const SolveOptions&);
template Solution solveOne(SolverCore*, const Position&, const SolveOptions&);

void fail(Solution& solution, const char* message) noexcept {
  solution.status = Status::failed;
  try {
    solution.error = message;
  } catch (const std::bad_alloc&) {
    solution.error.clear();
  }
}

void finishSolved(Solution& solution, Board& board, const std::vector<int>& directions, Goal goal) {
  solution.length = static_cast<unsigned>(directions.size());
  solution.moves.reserve(directions.size());
  for (const int direction : directions) {
    bool movedTracked = false;
    slide(board, direction, movedTracked);
    solution.moves.push_back(moveIn(goal, board.lastTile, direction));
  }
  solution.status = Status::solved;
  solution.error.clear();
}

}  // namespace detail

namespace {

SolverOptions optionsFor(Heuristic heuristic) {
  SolverOptions options;
  options.heuristic = heuristic;
  return options;
}

}  // namespace

Solver::Solver(Heuristic heuristic) : Solver(optionsFor(heuristic)) {}

Solver::Solver(const SolverOptions& options)
    : impl_(new (std::nothrow)
                Impl(options.workers != 0 ? options.workers : platform::availableCpus())) {
  if (!impl_) return;
  impl_->heuristic = options.heuristic;
  const char* problem = detail::kNotAvailable;
  if (options.heuristic == Heuristic::zelvar)
    impl_->engine = detail::buildZelvarEngine(impl_->workers, problem);
  if (options.heuristic == Heuristic::additive78)
    impl_->engine = detail::buildAdditiveEngine(impl_->workers, options, problem);
  if (impl_->engine) return;
  try {
    impl_->error = problem;
  } catch (const std::bad_alloc&) {
    impl_.reset();
  }
}

Solver::~Solver() = default;
Solver::Solver(Solver&&) noexcept = default;
Solver& Solver::operator=(Solver&&) noexcept = default;

const std::string& Solver::error() const noexcept {
  static const std::string kNoTables = detail::kNoTables;
  return impl_ ? impl_->error : kNoTables;
}

Heuristic Solver::heuristic() const noexcept {
  return impl_ ? impl_->heuristic : Heuristic::zelvar;
}

unsigned Solver::workers() const noexcept {
  return impl_ ? impl_->workers.size() : 0;
}

Solution Solver::solve(std::string_view position, const SolveOptions& options) const {
  return detail::solveOne(impl_.get(), position, options);
}

Solution Solver::solve(const Numbers& position, const SolveOptions& options) const {
  return detail::solveOne(impl_.get(), position, options);
}

}  // namespace zelvar
