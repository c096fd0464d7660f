// The inside of a Solver, shared by the single solve and the batch of many.
#pragma once

#include <exception>
#include <memory>
#include <mutex>
#include <string>

#include "api/engine.h"
#include "board/board.h"
#include "parallel/worker_pool.h"
#include "zelvar/zelvar.h"

namespace zelvar {
namespace detail {

// What a Solver holds (its Impl, under a name the functions here may use).
struct SolverCore : FailsEmpty {
  explicit SolverCore(unsigned workerCount) : workers(workerCount) {}

  Heuristic heuristic = Heuristic::zelvar;
  std::string error;                       // why there are no tables; empty when ready
  std::unique_ptr<detail::Engine> engine;  // owned; null exactly when error is set
  // Its threads end before the tables are released. One call at a time runs on it.
  WorkerPool workers;
  std::mutex workersInUse;
};

// A caller's callbacks for one solve or batch, called on the calling thread: an exception
// thrown by one is kept, ends the work, and is thrown again to the caller by rethrow().
class Callbacks {
 public:
  explicit Callbacks(const SolveOptions& options) : options_(options) {}

  bool hasStopQuestion() const { return static_cast<bool>(options_.stopRequested); }
  // False once a callback has thrown: everything is to end.
  bool estimate(const Solution& solution);
  bool boundStart(unsigned bound);
  bool boundEnd(const BoundCount& bound);
  // True unless stopRequested says stop (or has thrown).
  bool goOn();
  bool threw() const { return thrown_ != nullptr; }
  void rethrow() const {
    if (thrown_) std::rethrow_exception(thrown_);
  }

  // Runs f() and returns what it returns; an exception makes it false and is kept.
  template <typename F>
  bool guarded(F&& f) noexcept {
    if (thrown_) return false;
    try {
      return f();
    } catch (...) {
      thrown_ = std::current_exception();
      return false;
    }
  }

 private:
  const SolveOptions& options_;
  std::exception_ptr thrown_;
};

// Checks a position as the interactive program does and fills solution.position, status and
// error. True when it is to be searched; `board` is then its board in this program's frame.
// May throw std::bad_alloc.
bool admit(std::string_view text, Goal goal, Solution& solution, Board& board);
bool admit(const Numbers& numbers, Goal goal, Solution& solution, Board& board);
bool admit(const Position& position, Goal goal, Solution& solution, Board& board);

// One whole solve of a position on `core`'s workers when they are free, else on the calling
// thread alone. Never throws but what a callback throws.
template <typename Given>
Solution solveOne(SolverCore* core, const Given& position, const SolveOptions& options);

// The message of a search that ran out of memory, of a stopped solve, of a solver without
// tables.
extern const char kSearchMemoryFailure[];
extern const char kStopped[];
extern const char kNoTables[];

// Sets status failed with `message`; the message itself may not fit, as memory has run out.
void fail(Solution& solution, const char* message) noexcept;

// The solution's moves from the directions found on `board`, in `goal`'s frame; sets solved.
void finishSolved(Solution& solution, Board& board, const std::vector<int>& directions, Goal goal);

}  // namespace detail

struct Solver::Impl : detail::SolverCore {
  using SolverCore::SolverCore;
};

}  // namespace zelvar
