// Zelvar's library: shortest solutions of fifteen-puzzle positions, for programs that embed the
// solver. A Solver builds its tables once, then solves any number of positions, from any number
// of threads. Nothing here prints, throws on bad input or ends the process.
//
//   zelvar::Solver solver;
//   zelvar::Solution s = solver.solve("5 3 10 4 2 0 6 8 9 1 7 11 13 14 15 12");
//   if (s.solved()) std::cout << s.length << " moves: " << zelvar::formatMoves(s.moves) << '\n';
//   else std::cerr << s.error << '\n';
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zelvar {

// The library's version, as the programs print it: "1.0".
const char* version() noexcept;

// A position: sixteen numbers row by row from the top-left cell, 0 for the blank.
using Numbers = std::array<int, 16>;

// A position as a caller holds it: its text (sixteen numbers separated by white space or
// commas, nothing else), or its numbers.
using Position = std::variant<std::string, Numbers>;

// The solved position that positions and moves are written against.
enum class Goal {
  blankLast,   // 1 2 3 ... 15 0: the interactive program's goal (the default)
  blankFirst,  // 0 1 2 ... 15: the goal of most published instance sets
};

// The lower bound that guides the search. Both give optimal lengths; the node counts are those
// of the heuristic chosen.
enum class Heuristic {
  // Four lookups in two small pattern databases built in memory in a fraction of a second:
  // the interactive program's heuristic, with exactly its node counts.
  zelvar,
  // Additive databases of 7 and 8 tiles, the larger of the position's value and its
  // reflection's about the main diagonal: about 200 times fewer nodes. Its tables (about
  // 580 MB) are built once and kept in a file; see SolverOptions::tablesDirectory.
  additive78,
};

enum class Status {
  solved,      // length, moves, bounds and counts are set
  rejected,    // not sixteen numbers 0 to 15, each once; error names the first problem
  unsolvable,  // a permutation of 0 to 15 that cannot reach the goal
  noSolution,  // none within 99 moves (never for a position that can reach the goal)
  stopped,     // a callback of SolveOptions ended the solve; the bounds so far are set
  failed,      // memory ran out (the solver's tables or the solve's own); error says which
};

// One move of a solution.
struct Move {
  int tile = 0;          // 1 to 15, numbered as in the position given
  char direction = 'U';  // the way the tile slides: 'U', 'D', 'L' or 'R'
  bool operator==(const Move&) const = default;
};

// One round of iterative deepening.
struct BoundCount {
  unsigned bound = 0;       // the search bound: the moves allowed
  std::uint64_t nodes = 0;  // the positions the search visited under it
  bool operator==(const BoundCount&) const = default;
};

// What one solve found. The error messages are those of the interactive program, without the
// newline: "Error: please enter only numbers.", "Error: tiles must be numbered from 0 to 15.",
// "Error: the tile 5 is repeated.", "The puzzle can not be solved in this configuration.",
// "No solution found.", the table allocation failures, and for text with more than sixteen
// numbers "Error: please enter only sixteen numbers.". The library's own: "The solve was
// stopped.", "Failed to allocate memory for the search.", and for a solver without tables
// (moved from, or out of memory before its first table) "No tables.".
struct Solution {
  Status status = Status::rejected;
  std::string error;   // empty exactly when solved
  Numbers position{};  // the numbers as given; set unless rejected
  // The heuristic's value of the position and its terms. zelvar: the top-left, top-right,
  // bottom-left and bottom-right blocks. additive78: the 7-tile and 8-tile values of the
  // position, then of its reflection; the estimate is the larger pair's sum.
  unsigned estimate = 0;
  std::vector<unsigned> estimateTerms;
  unsigned length = 0;             // moves in the solution
  std::uint64_t nodes = 0;         // over all bounds
  std::vector<BoundCount> bounds;  // from the estimate up in steps of 2
  std::vector<Move> moves;         // in the frame of the goal asked for
  double seconds = 0;              // wall time of the search, table builds not included
  bool solved() const noexcept { return status == Status::solved; }
};

// The moves as the programs write them: tile number and letter, single spaces ("1U 7L 6D").
std::string formatMoves(const std::vector<Move>& moves);

// The numbers separated by single spaces ("5 3 10 4 ...").
std::string formatPosition(const Numbers& position);

// How to solve. The callbacks are called on the thread that called solve or solveMany; any
// may be left empty. An exception thrown by one ends the solve and propagates to the caller.
struct SolveOptions {
  Goal goal = Goal::blankLast;
  // solve only: once the estimate is known, before the first bound; `solution` holds the
  // position, the estimate and its terms.
  std::function<void(const Solution& solution)> onEstimate;
  // solve only: as a bound starts. False ends the solve there (Status::stopped).
  std::function<bool(unsigned bound)> onBoundStart;
  // solve only: as a bound ends, with its count. False ends the solve after it (Status::stopped
  // unless the bound found the solution).
  std::function<bool(const BoundCount& bound)> onBoundEnd;
  // Asked between bounds and, during a long bound, at most about ten times a second. True gives
  // up the work under way: solve returns Status::stopped, solveMany hands out nothing more.
  std::function<bool()> stopRequested;
};

struct SolverOptions {
  Heuristic heuristic = Heuristic::zelvar;
  // Workers of the builds and solves, the calling thread included; 0: one per CPU the process
  // may run on. The results never depend on it.
  unsigned workers = 0;
  // additive78 only: the folder of the table file; empty: $XDG_CACHE_HOME/zelvar, else
  // $HOME/.cache/zelvar. A missing, damaged or foreign file is built anew (on every worker) and
  // written there atomically; where the folder cannot be written the tables are built in
  // memory for this solver alone.
  std::string tablesDirectory;
  // additive78 only: one line each time the solver does something about its table file that a
  // user should hear of (building it, rebuilding it and why, building in memory and why).
  std::function<void(std::string_view line)> onNotice;
  // additive78 only: during a build, the share done so far, from 0 to 1, a few times a second.
  std::function<void(double share)> onBuildProgress;
};

// Builds the tables of one heuristic and solves positions with them.
//
// One Solver may be used from several threads at once: its tables are read-only once built.
// Calls made at the same time share the workers: one call at a time runs on all of them, the
// others each on their own calling thread; the results are the same either way.
class Solver {
 public:
  // Builds the zelvar heuristic's tables on every CPU the process may run on.
  Solver();
  explicit Solver(Heuristic heuristic);
  explicit Solver(const SolverOptions& options);
  ~Solver();
  Solver(Solver&&) noexcept;
  Solver& operator=(Solver&&) noexcept;
  Solver(const Solver&) = delete;
  Solver& operator=(const Solver&) = delete;

  // Empty when the tables are ready; else why they are not (the interactive program's
  // allocation message), and every solve returns Status::failed with it.
  const std::string& error() const noexcept;
  Heuristic heuristic() const noexcept;
  // 0 for a solver that had no memory even for its own state (or was moved from).
  unsigned workers() const noexcept;

  // Solves one position on all workers; never throws but from a callback.
  Solution solve(std::string_view position, const SolveOptions& options = {}) const;
  Solution solve(const Numbers& position, const SolveOptions& options = {}) const;

  // Solves positions drawn from `next` until it returns false, several at once on all workers,
  // a long position's large bounds shared out among workers that have nothing else to do.
  // `done` receives every solution in the order the positions were drawn, each as soon as all
  // before it are done; false from it ends the batch. Holds a bounded number of positions at
  // once, whatever the input's size. Returns how many solutions went to `done`.
  std::size_t solveMany(const std::function<bool(Position& position)>& next,
                        const std::function<bool(Solution&& solution)>& done,
                        const SolveOptions& options = {}) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zelvar
