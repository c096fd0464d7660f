// Many positions in one call.
#include <utility>

#include "api/solver_impl.h"

namespace zelvar {

std::size_t Solver::solveMany(const std::function<bool(Position& position)>& next,
                              const std::function<bool(Solution&& solution)>& done,
                              const SolveOptions& options) const {
  SolveOptions each;
  each.goal = options.goal;
  each.stopRequested = options.stopRequested;
  std::size_t delivered = 0;
  for (;;) {
    if (options.stopRequested && options.stopRequested()) break;
    Position position;
    if (!next(position)) break;
    Solution solution = detail::solveOne(impl_.get(), position, each);
    if (solution.status == Status::stopped) break;
    ++delivered;
    if (!done(std::move(solution))) break;
  }
  return delivered;
}

}  // namespace zelvar
