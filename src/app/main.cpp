// Zelvar: reads a fifteen-puzzle position from standard input and prints an optimal solution.
#include <csignal>
#include <cstdio>

#include "app/version.h"
#include "board/board.h"
#include "input/configuration.h"
#include "search/solver.h"

int main() {
#ifdef SIGPIPE
  // A reader that leaves early would otherwise end the run by a signal. The failed write is
  // noticed at the next flush instead, which ends the run, and the exit status stays 1.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  Board position;
  std::printf("Zelvar version %s - An optimal solver for the fifteen puzzle\n", kVersion);
  std::printf("Written by the Zelvar developers; free to use, copy and change.\n");
  std::printf("Enter the initial configuration now:\n");
  // Through a pipe the prompt would otherwise wait in the buffer while the program waits for
  // input. Nobody sees the answer when it cannot be shown.
  if (std::fflush(stdout) != 0) return 1;
  if (readConfiguration(position)) runSolver(position);
  // The exit status is 1 on every path; callers rely on it.
  return 1;
}
