#!/usr/bin/env python3
"""Writes uniformly random solvable fifteen-puzzle positions, one a line, sixteen numbers row by
row with 0 for the blank and the blank in the bottom-right cell of the goal.

    random_positions.py [COUNT [SEED]]      (defaults: 1000 and 20261209)

bench/random-positions.txt holds the defaults' output; its first 200 lines are the 200-position
set of the throughput benchmarks."""
import random
import sys


def solvable(tiles):
    # Each slide is one transposition and moves the blank one cell: both parities flip together.
    goal_cell = {tile: tile - 1 for tile in range(1, 16)}
    goal_cell[0] = 15
    perm = [goal_cell[tile] for tile in tiles]
    seen, transpositions = [False] * 16, 0
    for start in range(16):
        length = 0
        while not seen[start]:
            seen[start] = True
            start = perm[start]
            length += 1
        transpositions += max(length - 1, 0)
    blank = tiles.index(0)
    return (transpositions + 3 - blank // 4 + 3 - blank % 4) % 2 == 0


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 20261209)
    written = 0
    while written < count:
        tiles = list(range(16))
        rng.shuffle(tiles)
        if solvable(tiles):
            print(" ".join(map(str, tiles)))
            written += 1


if __name__ == "__main__":
    main()
