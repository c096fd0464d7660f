"""Shortest solutions of fifteen-puzzle positions.

A Solver builds its tables once and then solves any number of positions, on every core, with
the interpreter lock released while it works::

    import zelvar
    solver = zelvar.Solver()
    s = solver.solve([5, 3, 10, 4, 2, 0, 6, 8, 9, 1, 7, 11, 13, 14, 15, 12])
    s.length, s.moves_text, s.nodes      # 18, "1U 7L 6D ...", 78
    for s in solver.solve_many(positions, goal="blank-first"):  # in input order
        ...

A position is sixteen numbers row by row from the top-left cell, 0 for the blank: a str, a
list or tuple of integers, or a NumPy integer array (shape (16,) or (4, 4); (N, 16) for
solve_many). A rejected or unsolvable position raises ValueError with the interactive
program's message; Ctrl-C stops a long solve with KeyboardInterrupt.
"""

from ._zelvar import Solution, Solver, __version__

__all__ = ["Solution", "Solver", "__version__"]
