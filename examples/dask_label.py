#!/usr/bin/env python3
"""Labels a file of fifteen-puzzle positions with their optimal lengths on a Dask cluster.

    dask_label.py [-o OUTPUT] [--chunk N] [--goal GOAL] [--wait-workers N] SCHEDULER INPUT

INPUT holds a position a line (sixteen numbers separated by white space or commas); blank
lines and lines starting with "#" are skipped. The positions go to the dask.distributed
cluster at SCHEDULER (such as tcp://127.0.0.1:8786) in chunks, and OUTPUT (by default standard
output) gets one CSV record per position, in input order, as soon as every record before it
is there:

    line,position,length,nodes,error

`line` counts INPUT's lines from 1; a rejected or unsolvable line has no length or nodes and
the interactive program's message in `error`. The exit status is 0 when every position was
labelled, 1 when some line was rejected and 2 for a usage error.

Each worker process builds one zelvar.Solver when it joins (a worker plugin) and solves each
chunk on all the cores it may use, so one worker process a machine with one thread
(`dask-worker --nthreads 1`) keeps the cores busy. The workers must be able to import zelvar.
"""

import argparse
import collections
import csv
import sys

from distributed import Client, WorkerPlugin, get_worker

PLUGIN = "zelvar-solver"


class SolverPlugin(WorkerPlugin):
    """Holds the worker process's Solver: its tables are built once, not once a task."""

    name = PLUGIN

    def __init__(self, workers=None):
        self.workers = workers
        self.solver = None

    def setup(self, worker):
        import zelvar

        self.solver = zelvar.Solver(workers=self.workers)


def label_chunk(chunk, goal):
    """(line, position, length, nodes, error) for each (line, text) of the chunk."""
    solver = get_worker().plugins[PLUGIN].solver
    solutions = solver.solve_many([text for _, text in chunk], goal=goal, errors="keep")
    labels = []
    for (line, text), solution in zip(chunk, solutions):
        if solution.solved:
            position = " ".join(map(str, solution.position))
            labels.append((line, position, solution.length, solution.nodes, ""))
        else:
            labels.append((line, " ".join(text.replace(",", " ").split()), "", "",
                           solution.error))
    return labels


def chunks_of(file, size):
    chunk = []
    for number, line in enumerate(file, start=1):
        text = line.strip()
        if not text or text.startswith("#"):
            continue
        chunk.append((number, text))
        if len(chunk) == size:
            yield chunk
            chunk = []
    if chunk:
        yield chunk


def label(client, file, output, chunk_size, goal):
    """Writes the records in input order; returns how many lines were rejected."""
    writer = csv.writer(output, lineterminator="\n")
    writer.writerow(["line", "position", "length", "nodes", "error"])
    # A few chunks a worker in flight keep them all busy and the memory bounded.
    window = 4 * max(1, len(client.scheduler_info()["workers"]))
    pending = collections.deque()
    rejected = 0

    def write_first():
        nonlocal rejected
        for record in pending.popleft().result():
            rejected += bool(record[4])
            writer.writerow(record)

    for chunk in chunks_of(file, chunk_size):
        pending.append(client.submit(label_chunk, chunk, goal))
        if len(pending) >= window:
            write_first()
    while pending:
        write_first()
    return rejected


def main():
    parser = argparse.ArgumentParser(
        description="Label positions with optimal lengths on a Dask cluster.")
    parser.add_argument("scheduler", help="the scheduler's address, e.g. tcp://127.0.0.1:8786")
    parser.add_argument("input", type=argparse.FileType("r"), help="positions, one a line")
    parser.add_argument("-o", "--output", type=argparse.FileType("w"), default=sys.stdout,
                        help="where the CSV records go (default: standard output)")
    parser.add_argument("--chunk", type=int, default=25, help="positions a task (default 25)")
    parser.add_argument("--goal", choices=["blank-last", "blank-first"], default="blank-last",
                        help="the goal the positions are written against")
    parser.add_argument("--solver-workers", type=int, default=None,
                        help="threads of each worker process's solver (default: its CPUs)")
    parser.add_argument("--wait-workers", type=int, default=1, metavar="N",
                        help="wait up to a minute for N workers before starting (default 1)")
    args = parser.parse_args()
    if args.chunk < 1:
        parser.error("--chunk must be at least 1")

    with Client(args.scheduler) as client:
        client.wait_for_workers(args.wait_workers, timeout=60)
        client.register_worker_plugin(SolverPlugin(args.solver_workers), name=PLUGIN)
        rejected = label(client, args.input, args.output, args.chunk, args.goal)
    args.output.flush()
    return 1 if rejected else 0


if __name__ == "__main__":
    sys.exit(main())
