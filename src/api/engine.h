// What the library needs of a heuristic: its tables, built once, and one position's iterative
// deepening a bound at a time, on a pool's workers or split into units that lanes share. The
// checks, the goal frames, the callbacks and the scheduling of many positions are the
// library's own and do not depend on the heuristic.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "board/board.h"
#include "parallel/worker_pool.h"
#include "zelvar/zelvar.h"

namespace zelvar::detail {

enum class BoundResult { exhausted, found, stopped };

// The storage of one bound split into units, which several lanes (threads numbered 0 to
// lanes - 1) may run at once. Lent by the scheduler to one position's bound at a time.
class SharedUnits {
 public:
  virtual ~SharedUnits() = default;
  // Takes the next unit and searches it; false when none is left to take or wanted.
  virtual bool runUnit(unsigned lane) = 0;
  // Gives up every unit, those running included; the bound then ends stopped.
  virtual void stop() noexcept = 0;
};

// One position's iterative deepening. Bounds are searched in rising order; each counts its
// nodes exactly as the one-thread search does, however it is run.
class Deepening {
 public:
  virtual ~Deepening() = default;
  virtual unsigned estimate() const = 0;
  virtual std::vector<unsigned> estimateTerms() const = 0;

  // The whole bound on all of the workers given to Engine::start, asking its stop question.
  virtual BoundResult runBound(unsigned bound) = 0;

  // The same in steps, for lanes: shareBound cuts a bound worth sharing into at most
  // `maxUnits` of `units` and returns true (the lanes then call units.runUnit until it says no
  // more, and once none is running any more, finishBound ends the bound); false leaves the
  // bound to searchBound, on the calling thread alone.
  virtual bool shareBound(unsigned bound, SharedUnits& units, unsigned lanes,
                          unsigned maxUnits) = 0;
  virtual BoundResult finishBound(unsigned bound, SharedUnits& units) = 0;
  virtual BoundResult searchBound(unsigned bound) = 0;

  // The nodes of the last bound searched.
  virtual std::uint64_t boundNodes() const = 0;
  // After a bound of `length` moves found a solution: its directions, the first move first,
  // into `directions` (which allocates nothing when it has the room).
  virtual void directions(unsigned length, std::vector<int>& directions) const = 0;
};

class Engine {
 public:
  virtual ~Engine() = default;
  // A deepening of a solvable, fully tracked position in this program's frame (blank last)
  // whose runBound runs on `workers` (borrowed; they must outlive it) and asks
  // `stopRequested` (may be empty) on the calling thread between units, at most about ten
  // times a second; true ends the bound stopped. With a stop question, large bounds are cut
  // into units even on one worker. Nothing is allocated afterwards but what may fail without
  // changing any result. May throw std::bad_alloc.
  virtual std::unique_ptr<Deepening> start(Board& position, WorkerPool& workers,
                                           std::function<bool()> stopRequested) const = 0;
  // Storage for one shared bound at a time, for `lanes` lanes. May throw std::bad_alloc.
  virtual std::unique_ptr<SharedUnits> sharedUnits(unsigned lanes) const = 0;
};

// Base of the objects made before the tables: `new (std::nothrow) T` then comes back empty when
// memory has run out, never by an exception. With the heap exhausted throwing needs memory
// too, and the process would end (libstdc++'s own nothrow new throws and catches inside).
struct FailsEmpty {
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size);
  }
  static void operator delete(void* memory) noexcept { std::free(memory); }
  static void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
};

// The interactive program's heuristic: builds its two databases on `workers` and prepares
// them for the search. Null, with `error` set to the program's message, when a table (or the
// engine itself) cannot be allocated. Never throws.
std::unique_ptr<Engine> buildZelvarEngine(WorkerPool& workers, const char*& error) noexcept;

// The additive 7-8 heuristic: its tables from options.tablesDirectory's file, or built on
// `workers` and written there, with options.onNotice and onBuildProgress told on the calling
// thread. Null, with `error` set, when memory runs out. Throws what a callback throws.
std::unique_ptr<Engine> buildAdditiveEngine(WorkerPool& workers, const SolverOptions& options,
                                            const char*& error);

}  // namespace zelvar::detail
