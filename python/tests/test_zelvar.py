"""The module against the programs of the same build: ZELVAR_PROGRAM (the interactive program)
and, where set, ZELVAR_BATCH (zelvar-batch); PYTHONPATH must reach the built package."""

import json
import os
import re
import select
import signal
import subprocess
import sys
import tempfile
import textwrap
import threading
import time
import unittest
from pathlib import Path

import zelvar

try:
    import numpy
except ImportError:
    numpy = None

REPO = Path(__file__).resolve().parents[2]
PROGRAM = os.environ.get("ZELVAR_PROGRAM")
BATCH = os.environ.get("ZELVAR_BATCH")

WORKED_EXAMPLES = [
    "5 3 10 4 2 0 6 8 9 1 7 11 13 14 15 12",
    "5 2 14 7 11 0 8 3 6 1 12 15 13 4 9 10",
    "13 7 5 1 10 4 15 2 9 6 8 3 14 12 11 0",
]
EIGHTEEN = [5, 3, 10, 4, 2, 0, 6, 8, 9, 1, 7, 11, 13, 14, 15, 12]
EIGHTEEN_MOVES = "1U 7L 6D 10D 3R 1U 7U 6L 10D 7R 2R 5D 1L 2U 6U 10L 11L 12U"
# About a hundred million nodes: long enough to watch other threads run.
LONG = "12 10 6 0 9 8 13 15 11 7 3 2 5 4 14 1"
# Against the goal 0 1 2 ... 15 (unsolvable against this program's own): minutes of search.
EIGHTY = "15 14 8 12 10 11 9 13 2 6 5 1 3 7 4 0"
ONE_MOVE_FIRST = "1 0 2 3 4 5 6 7 8 9 10 11 12 13 14 15"


def random_positions(count):
    lines = (REPO / "bench" / "random-positions.txt").read_text().splitlines()
    return lines[:count]


def program_report(position):
    """length, nodes, bounds and moves from the interactive program's report."""
    report = subprocess.run([PROGRAM], input=position + "\n", capture_output=True, text=True,
                            timeout=60).stdout
    bounds = [(int(b), int(n)) for b, n in re.findall(r"^ *(\d+) moves: +(\d+) nodes$", report,
                                                      re.M)]
    moves = re.findall(r"\b\d+[UDLR]\b", report.split(" seconds\n", 1)[1])
    return {"length": len(moves), "nodes": sum(n for _, n in bounds), "bounds": bounds,
            "moves": " ".join(moves)}


def reference(positions):
    """The same four fields for each position, from zelvar-batch when there is one."""
    if not BATCH:
        return [program_report(position) for position in positions]
    with tempfile.NamedTemporaryFile("w", suffix=".txt") as file:
        file.write("\n".join(positions) + "\n")
        file.flush()
        records = subprocess.run([BATCH, "--no-times", file.name], capture_output=True,
                                 text=True, timeout=60, check=True).stdout.splitlines()
    return [json.loads(record) for record in records]


def fields(solution):
    return {"length": solution.length, "nodes": solution.nodes, "bounds": solution.bounds,
            "moves": solution.moves_text}


def comparable(record):
    """A record's fields as the module gives them; bounds as (bound, nodes) pairs."""
    bounds = [(b["bound"], b["nodes"]) if isinstance(b, dict) else tuple(b)
              for b in record["bounds"]]
    return {"length": record["length"], "nodes": record["nodes"], "bounds": bounds,
            "moves": record["moves"]}


def half_turn(numbers):
    """The position in the other goal's frame: turned by half a turn, tiles t -> 16 - t."""
    return [16 - t if t else 0 for t in reversed(numbers)]


@unittest.skipUnless(PROGRAM, "ZELVAR_PROGRAM is not set")
class Solve(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.solver = zelvar.Solver()

    def test_positions_as_the_programs_solve_them(self):
        positions = WORKED_EXAMPLES + random_positions(30)
        expected = [comparable(record) for record in reference(positions)]
        one_by_one = [self.solver.solve(position) for position in positions]
        many = self.solver.solve_many(positions)
        for position, want, one, batch in zip(positions, expected, one_by_one, many):
            with self.subTest(position=position):
                self.assertEqual(fields(one), want)
                self.assertEqual(batch, one)
        self.assertEqual(len(many), len(positions))
        self.assertEqual(self.solver.solve(WORKED_EXAMPLES[0]).estimate_terms, (7, 2, 3, 2))

    def test_the_other_goal_frame(self):
        positions = WORKED_EXAMPLES + random_positions(10)
        turned = [" ".join(map(str, half_turn([int(n) for n in p.split()]))) for p in positions]
        swap = str.maketrans("UDLR", "DURL")
        for position, solution in zip(positions, self.solver.solve_many(turned,
                                                                         goal="blank-first")):
            with self.subTest(position=position):
                same = self.solver.solve(position)
                moves = [(16 - tile, direction.translate(swap)) for tile, direction in
                         solution.moves]
                self.assertEqual(moves, same.moves)
                self.assertEqual(solution.length, same.length)

    def test_solutions_survive_pickling(self):
        import pickle

        solutions = self.solver.solve_many([EIGHTEEN, "1 1"], errors="keep")
        self.assertEqual(pickle.loads(pickle.dumps(solutions)), solutions)


class Inputs(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.solver = zelvar.Solver(workers=1)

    def assertSolvesEighteen(self, position):
        solution = self.solver.solve(position)
        self.assertEqual((solution.length, solution.nodes, solution.moves_text),
                         (18, 78, EIGHTEEN_MOVES))
        self.assertEqual(solution.moves[:2], [(1, "U"), (7, "L")])
        self.assertEqual(solution.position, tuple(EIGHTEEN))

    def test_every_form_of_a_position(self):
        for position in (EIGHTEEN, tuple(EIGHTEEN), " ".join(map(str, EIGHTEEN)),
                         ",".join(map(str, EIGHTEEN))):
            with self.subTest(position=position):
                self.assertSolvesEighteen(position)

    @unittest.skipUnless(numpy, "NumPy is not installed")
    def test_numpy_arrays(self):
        for dtype in (numpy.int8, numpy.uint8, numpy.int32, numpy.int64, numpy.uint64, ">i4"):
            with self.subTest(dtype=dtype):
                array = numpy.array(EIGHTEEN, dtype=dtype)
                self.assertSolvesEighteen(array)
                self.assertSolvesEighteen(array.reshape(4, 4))
                strided = numpy.array([EIGHTEEN, EIGHTEEN], dtype)[:, ::-1][0][::-1]
                self.assertSolvesEighteen(strided)
                self.assertSolvesEighteen(list(array))
        rows = numpy.array([EIGHTEEN, list(range(1, 16)) + [0]], dtype=numpy.int16)
        self.assertEqual([s.length for s in self.solver.solve_many(rows)], [18, 0])
        self.assertEqual([s.length for s in self.solver.solve_many(rows.reshape(2, 4, 4))],
                         [18, 0])
        with self.assertRaisesRegex(TypeError, "integers, not float64"):
            self.solver.solve(numpy.array(EIGHTEEN, dtype=float))
        with self.assertRaisesRegex(ValueError, r"shape \(16,\) or \(4, 4\), not \(2, 8\)"):
            self.solver.solve(numpy.array(EIGHTEEN).reshape(2, 8))
        with self.assertRaisesRegex(ValueError, r"not \(16,\)"):
            self.solver.solve_many(numpy.array(EIGHTEEN))

    def test_rejected_positions_give_the_programs_messages(self):
        goal = list(range(1, 16)) + [0]
        cases = {
            "Error: please enter only numbers.": ["1 2 x", goal[:15], "", [1, 2, 3]],
            "Error: please enter only sixteen numbers.": [goal + [3], " ".join(map(str, goal))
                                                          + " 3"],
            "Error: tiles must be numbered from 0 to 15.": [[16] + goal[1:], [-1] + goal[1:],
                                                            [2**80] + goal[1:]],
            "Error: the tile 5 is repeated.": ["1 5 5 x", [5] * 16],
            "The puzzle can not be solved in this configuration.":
                [goal[:13] + [15, 14, 0]],
        }
        for message, positions in cases.items():
            for position in positions:
                with self.subTest(position=position):
                    with self.assertRaises(ValueError) as raised:
                        self.solver.solve(position)
                    self.assertEqual(str(raised.exception), message)
        for position in ([1.0] * 16, b"1 2 3", 12, None, ["1"] * 16):
            with self.subTest(position=position), self.assertRaises(TypeError):
                self.solver.solve(position)

    def test_solve_many_keeps_order_and_reports_bad_positions(self):
        positions = [EIGHTEEN, "1 1", "1 2 3 4 5 6 7 8 9 10 11 12 13 15 14 0", goal_text()]
        kept = self.solver.solve_many(positions, errors="keep")
        self.assertEqual([s.status for s in kept], ["solved", "rejected", "unsolvable", "solved"])
        self.assertEqual(kept[1].error, "Error: the tile 1 is repeated.")
        self.assertIsNone(kept[1].position)
        with self.assertRaisesRegex(ValueError, r"^position 1: Error: the tile 1 is repeated\.$"):
            self.solver.solve_many(positions)
        with self.assertRaisesRegex(TypeError, "^position 2: "):
            self.solver.solve_many(iter([EIGHTEEN, EIGHTEEN, [0.5] * 16]))
        with self.assertRaises(ValueError):
            self.solver.solve(EIGHTEEN, goal="blank-middle")
        with self.assertRaises(ValueError):
            zelvar.Solver(workers=0)


def goal_text():
    return " ".join(map(str, range(1, 16))) + " 0"


def read_line(stream, timeout):
    """A line of the child's output, or "" once `timeout` seconds have passed without one."""
    line, deadline = b"", time.monotonic() + timeout
    while not line.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([stream], [], [], left)[0]:
            return ""
        byte = os.read(stream.fileno(), 1)
        if not byte:
            break
        line += byte
    return line.decode()


class Interruption(unittest.TestCase):
    def test_ctrl_c_stops_a_long_solve_and_the_solver_goes_on(self):
        script = textwrap.dedent(f"""
            import time, zelvar
            solver = zelvar.Solver()
            for call in ("solve", "solve_many"):
                print("solving", flush=True)
                try:
                    if call == "solve":
                        solver.solve("{EIGHTY}", goal="blank-first")
                    else:
                        solver.solve_many(["{ONE_MOVE_FIRST}", "{EIGHTY}", "{ONE_MOVE_FIRST}"],
                                          goal="blank-first")
                    print("finished", flush=True)
                except KeyboardInterrupt:
                    print("interrupted", time.monotonic(), flush=True)
                print(solver.solve({EIGHTEEN}).moves_text, flush=True)
            """)
        child = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE)
        try:
            for _ in range(2):
                self.assertEqual(read_line(child.stdout, 20), "solving\n")
                time.sleep(0.5)  # well into the search
                sent = time.monotonic()
                child.send_signal(signal.SIGINT)
                word, _, when = read_line(child.stdout, 10).partition(" ")
                self.assertEqual(word, "interrupted")
                self.assertLess(float(when) - sent, 2.0)
                self.assertEqual(read_line(child.stdout, 20), EIGHTEEN_MOVES + "\n")
            self.assertEqual(child.wait(timeout=30), 0)
        finally:
            child.kill()
            child.wait()
            child.stdout.close()


class Threads(unittest.TestCase):
    def test_other_threads_run_while_a_solve_runs(self):
        solver = zelvar.Solver()
        result = []
        worker = threading.Thread(target=lambda: result.append(solver.solve(LONG)))
        started = time.monotonic()
        worker.start()
        # Without the lock released this thread would wait out the whole solve in one go.
        longest_wait, last, turns = 0.0, time.monotonic(), 0
        while worker.is_alive():
            now = time.monotonic()
            longest_wait, last, turns = max(longest_wait, now - last), now, turns + 1
            time.sleep(0.001)
        took = time.monotonic() - started
        worker.join()
        self.assertEqual(result[0].length, 65)
        self.assertGreater(took, 0.1, "the solve was too quick to tell")
        self.assertLess(longest_wait, took / 2)
        self.assertGreater(turns, 10)


if __name__ == "__main__":
    unittest.main()
