// The benchmark's fixed positions, row by row: the first 25 of a seeded list of uniformly
// random solvable positions (Python's random.Random(20261208), shuffle, parity filter), then
// five positions of 61 to 64 moves from the same list. Changing the list changes the signature.
#pragma once

// Solutions at least this long count as long positions in the report.
inline constexpr unsigned kLongSolution = 60;

inline constexpr const char* kBenchPositions[] = {
    "13 6 3 2 9 4 12 7 1 11 15 14 8 0 10 5", "9 4 11 8 13 7 6 15 10 12 3 5 14 0 2 1",
    "11 1 13 9 15 8 3 2 7 14 12 6 5 10 4 0", "9 15 7 8 14 13 10 5 6 11 0 1 3 12 2 4",
    "12 14 10 15 11 6 0 4 8 13 2 9 3 1 7 5", "8 14 13 4 10 6 15 12 0 9 7 5 2 3 1 11",
    "14 13 9 1 5 3 6 12 7 11 0 8 4 2 15 10", "14 7 13 5 4 15 3 6 0 8 9 12 2 11 1 10",
    "8 6 1 12 13 3 7 2 4 15 11 14 0 5 10 9", "11 4 15 10 8 5 14 0 7 2 1 3 9 13 6 12",
    "8 13 12 11 9 4 0 5 7 3 10 15 6 1 14 2", "5 15 8 0 10 14 9 12 2 13 7 11 1 6 4 3",
    "1 7 2 15 9 12 0 11 3 14 10 4 6 5 13 8", "12 4 2 5 3 11 8 14 15 13 0 7 9 6 1 10",
    "13 6 2 14 3 4 1 15 8 12 11 9 0 10 5 7", "14 7 12 6 9 4 11 8 15 0 5 2 10 3 13 1",
    "2 1 9 3 6 13 8 7 15 10 4 14 11 0 12 5", "10 2 13 1 14 9 8 5 0 12 11 4 15 6 7 3",
    "5 9 15 12 10 2 11 3 13 7 6 4 8 14 0 1", "4 2 8 3 10 12 9 1 13 6 7 0 11 14 5 15",
    "5 6 9 13 7 3 8 10 14 4 15 0 12 2 11 1", "2 10 7 0 1 11 6 13 5 9 4 8 14 12 3 15",
    "11 2 15 8 13 1 14 7 4 10 9 3 0 5 6 12", "11 12 10 0 2 3 1 8 6 9 7 13 15 4 5 14",
    "4 13 15 3 5 6 14 2 8 7 11 9 10 12 0 1", "13 12 11 5 15 6 10 0 7 3 9 1 4 14 8 2",
    "7 14 13 12 10 0 6 1 3 4 11 9 8 15 5 2", "9 8 13 12 5 10 14 15 7 11 3 0 4 6 2 1",
    "3 10 11 0 5 7 9 1 8 15 14 13 12 4 6 2", "15 10 2 13 5 7 0 9 6 3 14 4 8 12 11 1",
};
