#!/usr/bin/python3
"""Measures the Python module against zelvar-batch on the same machine, in the same run.

    PYTHONPATH=build/release/python bench/python_module.py [--batch PATH] [--count N]
        [--rounds R] [--calls C]

1. Throughput: the first N positions of bench/random-positions.txt (200 by default), solved by
   zelvar-batch --no-times (the whole process: its tables, its start) and by the module
   (a new Solver, then solve_many), alternately R times (5 by default); medians and their
   ratio. The node totals must agree.
2. Call overhead: solve on an easy position (a few moves), C times (20,000 by default), as a
   list, a str and a NumPy array; the wall time per call less the search's own time
   (Solution.seconds).
"""

import argparse
import json
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import zelvar

REPO = Path(__file__).resolve().parent.parent
EASY = [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0, 13, 14, 15]  # three moves


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--batch", default=str(REPO / "build" / "release" / "zelvar-batch"))
    parser.add_argument("--count", type=int, default=200)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--calls", type=int, default=20000)
    args = parser.parse_args()

    if Path(args.batch).is_file():
        throughput(args)
    else:
        print(f"no zelvar-batch at {args.batch}: throughput left out")
    overhead(args.calls)


def throughput(args):
    lines = (REPO / "bench" / "random-positions.txt").read_text().splitlines()[:args.count]
    with tempfile.NamedTemporaryFile("w", suffix=".txt") as file:
        file.write("\n".join(lines) + "\n")
        file.flush()
        batch_times, module_times = [], []
        for _ in range(args.rounds):
            started = time.perf_counter()
            records = subprocess.run([args.batch, "--no-times", file.name], check=True,
                                     capture_output=True, text=True).stdout.splitlines()
            batch_times.append(time.perf_counter() - started)
            started = time.perf_counter()
            solutions = zelvar.Solver().solve_many(lines)
            module_times.append(time.perf_counter() - started)
    batch_nodes = sum(json.loads(record)["nodes"] for record in records)
    module_nodes = sum(solution.nodes for solution in solutions)
    if batch_nodes != module_nodes:
        sys.exit(f"node totals differ: zelvar-batch {batch_nodes}, module {module_nodes}")
    batch, module = statistics.median(batch_times), statistics.median(module_times)
    print(f"{len(lines)} positions, {module_nodes} nodes, median of {args.rounds} alternate runs:")
    def runs(times):
        return "  (" + " ".join(f"{t:.2f}" for t in times) + ")"

    print(f"  zelvar-batch --no-times    {batch:8.3f} s" + runs(batch_times))
    print(f"  Solver() + solve_many      {module:8.3f} s   ({module / batch:.3f} of zelvar-batch)"
          + runs(module_times))


def overhead(calls):
    solver = zelvar.Solver()
    try:
        import numpy
        forms = {"list": EASY, "str": " ".join(map(str, EASY)), "numpy": numpy.array(EASY)}
    except ImportError:
        forms = {"list": EASY, "str": " ".join(map(str, EASY))}
    print(f"solve() on a {solver.solve(EASY).length}-move position, {calls} calls:")
    for name, position in forms.items():
        searching = 0.0
        started = time.perf_counter()
        for _ in range(calls):
            searching += solver.solve(position).seconds
        wall = (time.perf_counter() - started) / calls
        print(f"  {name:6} {wall * 1e6:7.2f} us a call, "
              f"{(wall - searching / calls) * 1e6:7.2f} us beyond the search")


if __name__ == "__main__":
    main()
