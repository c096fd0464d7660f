from collections.abc import Callable, Iterable
from os import PathLike
from typing import Literal, Sequence, SupportsIndex, Union

import numpy.typing

__version__: str

_Goal = Literal["blank-last", "blank-first"]
_Position = Union[str, Sequence[SupportsIndex], numpy.typing.NDArray[numpy.integer]]

class Solution:
    """What one solve found."""

    @property
    def solved(self) -> bool: ...
    @property
    def status(
        self,
    ) -> Literal["solved", "rejected", "unsolvable", "no-solution", "stopped", "failed"]: ...
    @property
    def error(self) -> str: ...
    @property
    def position(self) -> tuple[int, ...] | None: ...
    @property
    def estimate(self) -> int: ...
    @property
    def estimate_terms(self) -> tuple[int, ...]: ...
    @property
    def length(self) -> int: ...
    @property
    def nodes(self) -> int: ...
    @property
    def bounds(self) -> list[tuple[int, int]]: ...
    @property
    def moves(self) -> list[tuple[int, Literal["U", "D", "L", "R"]]]: ...
    @property
    def moves_text(self) -> str: ...
    @property
    def seconds(self) -> float: ...
    def __eq__(self, other: object) -> bool: ...

class Solver:
    """Builds the tables of one heuristic once, then solves positions with them."""

    def __init__(
        self,
        workers: int | None = None,
        heuristic: Literal["zelvar", "7-8"] = "zelvar",
        tables: str | PathLike[str] | None = None,
        notice: Callable[[str], object] | None = None,
    ) -> None: ...
    @property
    def workers(self) -> int: ...
    @property
    def heuristic(self) -> Literal["zelvar", "7-8"]: ...
    def solve(self, position: _Position, goal: _Goal = "blank-last") -> Solution: ...
    def solve_many(
        self,
        positions: Iterable[_Position] | numpy.typing.NDArray[numpy.integer],
        goal: _Goal = "blank-last",
        errors: Literal["raise", "keep"] = "raise",
    ) -> list[Solution]: ...
