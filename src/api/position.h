// Positions as the library's callers give them: read and checked as the interactive program
// reads and checks its input, and turned into the board of this program's goal.
#pragma once

#include <string>
#include <string_view>

#include "board/board.h"
#include "zelvar/zelvar.h"

namespace zelvar::detail {

// Reads sixteen numbers from `text`, white space or commas between them, each as the
// interactive program reads one. Returns the message of the first problem (empty when none):
// not a number or too few, out of range, repeated, or more than sixteen.
std::string readNumbers(std::string_view text, Numbers& numbers);

// The range and repetition checks of the interactive program on numbers given as integers;
// the message of the first problem, or empty.
std::string checkNumbers(const Numbers& numbers);

// The fully tracked board of checked numbers in the frame of this program's goal (blank last).
// Positions written for the blank-first goal are turned half a turn with their tiles
// relabelled t -> 16 - t, which maps that goal onto this one.
Board boardOf(const Numbers& numbers, Goal goal);

// A move of the solution found on boardOf's board, in the frame of `goal`: the half-turn
// swaps the directions U and D, L and R.
Move moveIn(Goal goal, int tile, int direction);

}  // namespace zelvar::detail
