// The Python module zelvar (its compiled part, zelvar._zelvar): the library's Solver for
// Python programs. Positions come in as text, sequences or NumPy arrays; the interpreter lock
// is released while the library works, and Ctrl-C gives up a solve through stopRequested.
#include <Python.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "zelvar/zelvar.h"

namespace py = pybind11;

namespace {

// Signals are handled on the interpreter's main thread only; set at import.
unsigned long mainThreadIdent = 0;

zelvar::Goal goalNamed(const std::string& name) {
  if (name == "blank-last") return zelvar::Goal::blankLast;
  if (name == "blank-first") return zelvar::Goal::blankFirst;
  throw py::value_error("goal must be \"blank-last\" or \"blank-first\", not \"" + name + "\"");
}

const char* heuristicName(zelvar::Heuristic heuristic) {
  return heuristic == zelvar::Heuristic::zelvar ? "zelvar" : "7-8";
}

const char* statusName(zelvar::Status status) {
  switch (status) {
    case zelvar::Status::solved:
      return "solved";
    case zelvar::Status::rejected:
      return "rejected";
    case zelvar::Status::unsolvable:
      return "unsolvable";
    case zelvar::Status::noSolution:
      return "no-solution";
    case zelvar::Status::stopped:
      return "stopped";
    case zelvar::Status::failed:
      return "failed";
  }
  return "failed";
}

std::string typeName(py::handle object) {
  return py::str(py::type::handle_of(object).attr("__name__"));
}

// numpy.ndarray once NumPy has been imported; an array cannot exist before that, so the module
// needs no NumPy of its own.
bool isArray(py::handle object) {
  static PyObject* ndarray = nullptr;  // kept for the interpreter's life
  if (ndarray == nullptr) {
    PyObject* numpy = PyImport_GetModule(py::str("numpy").ptr());
    if (numpy == nullptr) {
      PyErr_Clear();
      return false;
    }
    ndarray = py::object(py::reinterpret_steal<py::object>(numpy).attr("ndarray")).release().ptr();
  }
  return PyObject_IsInstance(object.ptr(), ndarray) == 1;
}

// An integer array's values in C order, widened to 64 bits. Values beyond int64 wrap to
// negative numbers, which the library rejects as out of range like any other.
struct Integers {
  std::vector<py::ssize_t> shape;
  std::vector<std::int64_t> values;
};

template <typename T>
void readValues(const py::buffer_info& buffer, Integers& integers) {
  const auto* base = static_cast<const char*>(buffer.ptr);
  std::vector<py::ssize_t> index(buffer.shape.size(), 0);
  for (py::ssize_t k = 0; k < buffer.size; ++k) {
    py::ssize_t offset = 0;
    for (std::size_t d = 0; d < index.size(); ++d)
      offset += index[d] * buffer.strides[d];
    T value;
    std::memcpy(&value, base + offset, sizeof value);
    integers.values.push_back(static_cast<std::int64_t>(value));
    for (std::size_t d = index.size(); d-- > 0 && ++index[d] == buffer.shape[d];)
      index[d] = 0;
  }
}

Integers integersOf(py::handle array) {
  const py::buffer_info buffer = py::reinterpret_borrow<py::buffer>(array).request();
  std::string format = buffer.format;
  const char order = format.empty() ? '@' : format.front();
  if (std::string_view("@=<>!").find(order) != std::string_view::npos) format.erase(0, 1);
  const bool foreign =
      (order == '>' || order == '!') == (std::endian::native == std::endian::little);
  const bool explicitOrder = order == '<' || order == '>' || order == '!';
  Integers integers;
  integers.shape = buffer.shape;
  integers.values.reserve(static_cast<std::size_t>(buffer.size));
  const char code = format.size() == 1 ? format[0] : '?';
  if (explicitOrder && foreign &&
      std::string_view("bBhHiIlLqQnN").find(code) != std::string_view::npos) {
    // Stored in the other byte order: NumPy turns it round.
    return integersOf(array.attr("astype")(array.attr("dtype").attr("newbyteorder")("=")));
  }
  switch (code) {
    case 'b':
      readValues<signed char>(buffer, integers);
      break;
    case 'B':
      readValues<unsigned char>(buffer, integers);
      break;
    case 'h':
      readValues<short>(buffer, integers);
      break;
    case 'H':
      readValues<unsigned short>(buffer, integers);
      break;
    case 'i':
      readValues<int>(buffer, integers);
      break;
    case 'I':
      readValues<unsigned>(buffer, integers);
      break;
    case 'l':
      readValues<long>(buffer, integers);
      break;
    case 'L':
      readValues<unsigned long>(buffer, integers);
      break;
    case 'q':
      readValues<long long>(buffer, integers);
      break;
    case 'Q':
      readValues<unsigned long long>(buffer, integers);
      break;
    case 'n':
      readValues<py::ssize_t>(buffer, integers);
      break;
    case 'N':
      readValues<std::size_t>(buffer, integers);
      break;
    default:
      throw py::type_error("a position array must hold integers, not " +
                           std::string(py::str(array.attr("dtype"))));
  }
  return integers;
}

zelvar::Numbers numbersAt(const Integers& integers, std::size_t first) {
  zelvar::Numbers numbers{};
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    // Anything outside 0 to 15 gets the same message; clamping keeps it an int.
    numbers[i] = static_cast<int>(std::clamp<std::int64_t>(integers.values[first + i], -1, 16));
  }
  return numbers;
}

std::string shapeText(const std::vector<py::ssize_t>& shape) {
  std::string text = "(";
  for (std::size_t i = 0; i < shape.size(); ++i) {
    text += (i ? ", " : "") + std::to_string(shape[i]);
  }
  return text + (shape.size() == 1 ? ",)" : ")");
}

zelvar::Position positionOfArray(py::handle array) {
  const Integers integers = integersOf(array);
  const std::vector<py::ssize_t>& shape = integers.shape;
  const bool flat = shape.size() == 1 && shape[0] == 16;
  const bool square = shape.size() == 2 && shape[0] == 4 && shape[1] == 4;
  if (!flat && !square) {
    throw py::value_error("a position array has the shape (16,) or (4, 4), not " +
                          shapeText(shape));
  }
  return numbersAt(integers, 0);
}

// One position as the library takes it. Text goes to the library as it is; a sequence of the
// wrong length too, as text, so that it gets the interactive program's message.
zelvar::Position positionOf(py::handle object) {
  if (py::isinstance<py::str>(object)) return std::string(py::str(object));
  if (!PyList_Check(object.ptr()) && !PyTuple_Check(object.ptr()) && isArray(object)) {
    return positionOfArray(object);
  }
  if (py::isinstance<py::bytes>(object) || PyByteArray_Check(object.ptr()) ||
      !PySequence_Check(object.ptr())) {
    throw py::type_error(
        "a position is a str, list, tuple or NumPy array of sixteen integers, not " +
        typeName(object));
  }
  std::vector<int> values;
  for (const py::handle item : py::reinterpret_borrow<py::sequence>(object)) {
    PyObject* index = PyNumber_Index(item.ptr());
    if (index == nullptr) {
      PyErr_Clear();
      throw py::type_error("the numbers of a position must be integers, not " + typeName(item));
    }
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(index, &overflow);
    Py_DECREF(index);
    values.push_back(overflow != 0 ? -1 : static_cast<int>(std::clamp<long long>(value, -1, 16)));
  }
  if (values.size() != 16) {
    std::string text;
    for (const int value : values)
      text += std::to_string(value) + ' ';
    return text;
  }
  zelvar::Numbers numbers{};
  std::copy(values.begin(), values.end(), numbers.begin());
  return numbers;
}

std::vector<zelvar::Position> positionsOf(py::handle object) {
  std::vector<zelvar::Position> positions;
  if (isArray(object)) {
    const Integers integers = integersOf(object);
    const std::vector<py::ssize_t>& shape = integers.shape;
    const bool rows = shape.size() == 2 && shape[1] == 16;
    const bool boards = shape.size() == 3 && shape[1] == 4 && shape[2] == 4;
    if (!rows && !boards) {
      throw py::value_error("an array of positions has the shape (N, 16) or (N, 4, 4), not " +
                            shapeText(shape));
    }
    positions.reserve(static_cast<std::size_t>(shape[0]));
    for (std::size_t row = 0; row < static_cast<std::size_t>(shape[0]); ++row) {
      positions.emplace_back(numbersAt(integers, row * 16));
    }
    return positions;
  }
  if (py::isinstance<py::str>(object) || py::isinstance<py::bytes>(object)) {
    throw py::type_error("solve_many takes a sequence of positions; solve takes one position");
  }
  for (const py::handle item : py::iter(object)) {
    try {
      positions.push_back(positionOf(item));
    } catch (py::error_already_set&) {
      throw;
    } catch (const py::builtin_exception& error) {
      // Name the position, keeping the kind of error.
      const std::string message =
          "position " + std::to_string(positions.size()) + ": " + error.what();
      if (dynamic_cast<const py::type_error*>(&error)) throw py::type_error(message);
      throw py::value_error(message);
    }
  }
  return positions;
}

// Hands the library a stopRequested that runs Python's signal handlers on the main thread,
// so that Ctrl-C ends a solve, and keeps the exception a handler raised until the interpreter
// lock is back. Elsewhere no handler would run, so the library is given nothing to call.
class Interruption {
 public:
  Interruption() = default;
  Interruption(const Interruption&) = delete;
  Interruption& operator=(const Interruption&) = delete;
  ~Interruption() {  // with the interpreter lock held
    Py_XDECREF(type_);
    Py_XDECREF(value_);
    Py_XDECREF(traceback_);
  }

  void watch(zelvar::SolveOptions& options) {
    if (PyThread_get_thread_ident() != mainThreadIdent) return;
    options.stopRequested = [this] {
      const py::gil_scoped_acquire lock;
      if (type_ != nullptr || PyErr_CheckSignals() == 0) return type_ != nullptr;
      PyErr_Fetch(&type_, &value_, &traceback_);
      return true;
    };
  }

  // Raises what a signal handler raised, if one did.
  void raise() {
    if (type_ == nullptr) return;
    PyErr_Restore(std::exchange(type_, nullptr), std::exchange(value_, nullptr),
                  std::exchange(traceback_, nullptr));
    throw py::error_already_set();
  }

 private:
  PyObject* type_ = nullptr;
  PyObject* value_ = nullptr;
  PyObject* traceback_ = nullptr;
};

// A solution's failure as a Python exception: the position's own fault is a ValueError.
void raiseFailure(const zelvar::Solution& solution, const std::string& prefix) {
  switch (solution.status) {
    case zelvar::Status::rejected:
    case zelvar::Status::unsolvable:
      throw py::value_error(prefix + solution.error);
    case zelvar::Status::failed:
      throw std::runtime_error(prefix + solution.error);
    default:
      return;
  }
}

py::list boundsOf(const zelvar::Solution& solution) {
  py::list bounds;
  for (const zelvar::BoundCount& bound : solution.bounds) {
    bounds.append(py::make_tuple(bound.bound, bound.nodes));
  }
  return bounds;
}

py::list movesOf(const zelvar::Solution& solution) {
  py::list moves;
  for (const zelvar::Move& move : solution.moves) {
    moves.append(py::make_tuple(move.tile, std::string(1, move.direction)));
  }
  return moves;
}

py::tuple stateOf(const zelvar::Solution& solution) {
  return py::make_tuple(static_cast<int>(solution.status), solution.error,
                        py::tuple(py::cast(solution.position)), solution.estimate,
                        py::tuple(py::cast(solution.estimateTerms)), solution.length,
                        solution.nodes, boundsOf(solution), movesOf(solution), solution.seconds);
}

zelvar::Solution solutionOf(const py::tuple& state) {
  if (state.size() != 10) throw py::value_error("not the state of a zelvar.Solution");
  zelvar::Solution solution;
  const int status = state[0].cast<int>();
  if (status < 0 || status > static_cast<int>(zelvar::Status::failed)) {
    throw py::value_error("not the state of a zelvar.Solution");
  }
  solution.status = static_cast<zelvar::Status>(status);
  solution.error = state[1].cast<std::string>();
  solution.position = state[2].cast<zelvar::Numbers>();
  solution.estimate = state[3].cast<unsigned>();
  solution.estimateTerms = state[4].cast<std::vector<unsigned>>();
  solution.length = state[5].cast<unsigned>();
  solution.nodes = state[6].cast<std::uint64_t>();
  for (const auto& [bound, nodes] :
       state[7].cast<std::vector<std::pair<unsigned, std::uint64_t>>>()) {
    solution.bounds.push_back({bound, nodes});
  }
  for (const auto& [tile, direction] : state[8].cast<std::vector<std::pair<int, char>>>()) {
    solution.moves.push_back({tile, direction});
  }
  solution.seconds = state[9].cast<double>();
  return solution;
}

std::unique_ptr<zelvar::Solver> makeSolver(const std::optional<int>& workers,
                                           const std::string& heuristic,
                                           const std::optional<py::object>& tables,
                                           const std::optional<py::function>& notice) {
  zelvar::SolverOptions options;
  if (heuristic == "zelvar") {
    options.heuristic = zelvar::Heuristic::zelvar;
  } else if (heuristic == "7-8") {
    options.heuristic = zelvar::Heuristic::additive78;
  } else {
    throw py::value_error("heuristic must be \"zelvar\" or \"7-8\", not \"" + heuristic + "\"");
  }
  if (workers) {
    if (*workers < 1) throw py::value_error("workers must be at least 1 (None: one per CPU)");
    options.workers = static_cast<unsigned>(*workers);
  }
  if (tables && !tables->is_none()) {
    options.tablesDirectory = py::str(py::module_::import("os").attr("fspath")(*tables));
  }
  if (notice) {
    // The library copies the callback without the interpreter lock: only the holder's count
    // may change then, and the last holder lets go of the function under the lock.
    const std::shared_ptr<py::function> holder(new py::function(*notice), [](py::function* f) {
      const py::gil_scoped_acquire lock;
      delete f;
    });
    options.onNotice = [holder](std::string_view line) {
      const py::gil_scoped_acquire lock;
      try {
        (*holder)(std::string(line));
      } catch (py::error_already_set& error) {
        error.discard_as_unraisable("zelvar.Solver notice");
      }
    };
  }
  std::unique_ptr<zelvar::Solver> solver;
  {
    const py::gil_scoped_release unlocked;
    solver = std::make_unique<zelvar::Solver>(options);
  }
  if (!solver->error().empty()) throw std::runtime_error(solver->error());
  return solver;
}

zelvar::Solution solveOne(const zelvar::Solver& solver, const py::object& position,
                          const std::string& goal) {
  zelvar::Position input = positionOf(position);
  zelvar::SolveOptions options;
  options.goal = goalNamed(goal);
  Interruption interruption;
  interruption.watch(options);
  zelvar::Solution solution;
  {
    const py::gil_scoped_release unlocked;
    solution = std::visit(
        [&](const auto& value) {
          if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::string>) {
            return solver.solve(std::string_view(value), options);
          } else {
            return solver.solve(value, options);
          }
        },
        input);
  }
  interruption.raise();
  raiseFailure(solution, "");
  return solution;
}

py::list solveMany(const zelvar::Solver& solver, const py::object& positions,
                   const std::string& goal, const std::string& errors) {
  if (errors != "raise" && errors != "keep") {
    throw py::value_error("errors must be \"raise\" or \"keep\", not \"" + errors + "\"");
  }
  const bool keep = errors == "keep";
  std::vector<zelvar::Position> inputs = positionsOf(positions);
  zelvar::SolveOptions options;
  options.goal = goalNamed(goal);
  Interruption interruption;
  interruption.watch(options);
  std::vector<zelvar::Solution> solutions;
  solutions.reserve(inputs.size());
  std::optional<zelvar::Solution> failure;
  {
    const py::gil_scoped_release unlocked;
    std::size_t next = 0;
    solver.solveMany(
        [&](zelvar::Position& position) {
          if (next == inputs.size()) return false;
          position = std::move(inputs[next++]);
          return true;
        },
        [&](zelvar::Solution&& solution) {
          const bool positionFault = solution.status == zelvar::Status::rejected ||
                                     solution.status == zelvar::Status::unsolvable;
          if (solution.status == zelvar::Status::failed || (positionFault && !keep)) {
            failure = std::move(solution);
            return false;
          }
          solutions.push_back(std::move(solution));
          return true;
        },
        options);
  }
  interruption.raise();
  if (failure) raiseFailure(*failure, "position " + std::to_string(solutions.size()) + ": ");
  if (solutions.size() != inputs.size()) {
    throw std::runtime_error("the solver stopped after " + std::to_string(solutions.size()) +
                             " of " + std::to_string(inputs.size()) + " positions");
  }
  py::list results;
  for (zelvar::Solution& solution : solutions)
    results.append(py::cast(std::move(solution)));
  return results;
}

std::string reprOf(const zelvar::Solution& solution) {
  if (!solution.solved()) {
    return std::string("<zelvar.Solution ") + statusName(solution.status) + ": " + solution.error +
           ">";
  }
  return "<zelvar.Solution " + std::to_string(solution.length) + " moves, " +
         std::to_string(solution.nodes) + " nodes: " + zelvar::formatMoves(solution.moves) + ">";
}

}  // namespace

PYBIND11_MODULE(_zelvar, module) {
  module.doc() = "The compiled part of the zelvar package; import zelvar instead.";
  mainThreadIdent =
      py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>();
  module.attr("__version__") = zelvar::version();

  py::class_<zelvar::Solution> solution(module, "Solution", R"doc(
What one solve found. A solved position has `solved` true and an empty `error`; with
solve_many(errors="keep") a rejected or unsolvable position is a Solution too, with
`solved` false, `status` saying why and `error` the interactive program's message.
Solutions compare by value and can be pickled (to send them between processes).)doc");
  solution.attr("__module__") = "zelvar";
  solution
      .def_property_readonly(
          "solved", [](const zelvar::Solution& s) { return s.solved(); },
          "True when length, moves, bounds and counts are set.")
      .def_property_readonly(
          "status", [](const zelvar::Solution& s) { return statusName(s.status); },
          "\"solved\", \"rejected\", \"unsolvable\", \"no-solution\", \"stopped\" or \"failed\".")
      .def_readonly("error", &zelvar::Solution::error,
                    "Empty when solved, else the interactive program's message.")
      .def_property_readonly(
          "position",
          [](const zelvar::Solution& s) -> py::object {
            if (s.status == zelvar::Status::rejected) return py::none();
            return py::tuple(py::cast(s.position));
          },
          "The sixteen numbers as given (a tuple), or None when the position was rejected.")
      .def_readonly("estimate", &zelvar::Solution::estimate,
                    "The heuristic's lower bound on the length.")
      .def_property_readonly(
          "estimate_terms",
          [](const zelvar::Solution& s) { return py::tuple(py::cast(s.estimateTerms)); },
          "The estimate's terms: for the zelvar heuristic the top-left, top-right, bottom-left\n"
          "and bottom-right blocks.")
      .def_readonly("length", &zelvar::Solution::length, "Moves in the optimal solution.")
      .def_readonly("nodes", &zelvar::Solution::nodes,
                    "Positions the search visited, over all bounds.")
      .def_property_readonly("bounds", &boundsOf,
                             "(bound, nodes) per round of iterative deepening, from the "
                             "estimate up in steps of 2.")
      .def_property_readonly("moves", &movesOf,
                             "The solution as (tile, direction) tuples; the direction, \"U\", "
                             "\"D\",\n\"L\" or \"R\", is the way the tile slides.")
      .def_property_readonly(
          "moves_text", [](const zelvar::Solution& s) { return zelvar::formatMoves(s.moves); },
          "The moves as the programs write them: \"1U 7L 6D\".")
      .def_readonly("seconds", &zelvar::Solution::seconds,
                    "Wall time of the search, table builds not included.")
      .def("__repr__", &reprOf)
      .def(
          "__eq__",
          [](const zelvar::Solution& a, const zelvar::Solution& b) {
            // Everything but the time, which differs from run to run.
            return a.status == b.status && a.error == b.error && a.position == b.position &&
                   a.estimate == b.estimate && a.estimateTerms == b.estimateTerms &&
                   a.length == b.length && a.nodes == b.nodes && a.bounds == b.bounds &&
                   a.moves == b.moves;
          },
          py::is_operator())
      .def(py::pickle(&stateOf, &solutionOf));
  solution.attr("__hash__") = py::none();

  py::class_<zelvar::Solver> solver(module, "Solver", R"doc(
Builds the tables of one heuristic once, then solves any number of positions with them.

workers: the threads of the builds and solves (None: one per CPU the process may use); the
  results never depend on it.
heuristic: "zelvar" (the interactive program's, with exactly its node counts; built in a
  fraction of a second) or "7-8" (additive 7- and 8-tile databases: far fewer nodes; its
  tables, about 580 MB, are built once and kept in a file).
tables: "7-8" only: the folder of that file (None: $XDG_CACHE_HOME/zelvar, else
  ~/.cache/zelvar).
notice: "7-8" only: called with a line each time the solver builds or rebuilds its file.

Raises RuntimeError when the tables cannot be made (the message says why). One Solver may be
used from several threads at once; the interpreter lock is released while it works.)doc");
  solver.attr("__module__") = "zelvar";
  solver
      .def(py::init(&makeSolver), py::arg("workers") = py::none(), py::arg("heuristic") = "zelvar",
           py::arg("tables") = py::none(), py::arg("notice") = py::none())
      .def_property_readonly("workers", &zelvar::Solver::workers,
                             "The threads that builds and solves use.")
      .def_property_readonly(
          "heuristic", [](const zelvar::Solver& s) { return heuristicName(s.heuristic()); },
          "\"zelvar\" or \"7-8\".")
      .def("solve", &solveOne, py::arg("position"), py::arg("goal") = "blank-last",
           R"doc(
Solves one position on all workers and returns its Solution.

position: sixteen numbers row by row from the top-left cell, 0 for the blank: a str
  ("5 3 10 4 ..."; white space or commas between them), a list or tuple of integers, or a
  NumPy integer array of shape (16,) or (4, 4).
goal: "blank-last" (1 2 3 ... 15 0, the interactive program's goal) or "blank-first"
  (0 1 2 ... 15, the goal of most published instance sets); the position and the moves are
  in its frame.

Raises ValueError with the interactive program's message for a rejected or unsolvable
position, TypeError for what is not a position, KeyboardInterrupt when Ctrl-C stops a long
solve (the solver stays usable) and RuntimeError when memory runs out.)doc")
      .def("solve_many", &solveMany, py::arg("positions"), py::arg("goal") = "blank-last",
           py::arg("errors") = "raise", R"doc(
Solves many positions, several at once on all workers, and returns their Solutions as a
list in input order.

positions: an iterable of positions (each as solve takes them) or a NumPy integer array of
  shape (N, 16) or (N, 4, 4).
goal: as for solve.
errors: "raise" (a rejected or unsolvable position raises ValueError, its message prefixed
  with "position K: ", K counting from 0; nothing is returned) or "keep" (it gets a Solution
  whose `solved` is false and whose `error` holds the message, in its place).

Raises TypeError for what is not a position (naming it), KeyboardInterrupt on Ctrl-C and
RuntimeError when memory runs out.)doc");
}
