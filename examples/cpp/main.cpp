// Solves the position given as sixteen numbers on the command line (or an example) and prints
// the length and the moves of a shortest solution.
#include <zelvar/zelvar.h>

#include <iostream>
#include <string>

int main(int argc, char** argv) {
  std::string position = "5 3 10 4 2 0 6 8 9 1 7 11 13 14 15 12";
  if (argc > 1) {
    position.clear();
    for (int k = 1; k < argc; ++k)
      position += std::string(argv[k]) + ' ';
  }

  zelvar::Solver solver;  // builds its tables once, on every CPU the process may use
  if (!solver.error().empty()) {
    std::cerr << solver.error() << '\n';
    return 1;
  }
  const zelvar::Solution solution = solver.solve(position);
  if (!solution.solved()) {
    std::cerr << solution.error << '\n';
    return 1;
  }
  std::cout << solution.length << " moves: " << zelvar::formatMoves(solution.moves) << '\n';
  return 0;
}
