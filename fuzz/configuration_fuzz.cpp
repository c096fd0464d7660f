// libFuzzer target for the configuration reader. Besides crashes, it aborts when the reader
// disagrees with a separate model of the input rules, or when the model's reading of a number
// disagrees with the C library's "%u".
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "board/board.h"
#include "input/configuration.h"
#include "support/output_capture.h"

namespace {

constexpr int kTileCount = 16;

const std::string kNotNumber = "Error: please enter only numbers.\n";
const std::string kOutOfRange = "Error: tiles must be numbered from 0 to 15.\n";
const std::string kUnsolvable = "The puzzle can not be solved in this configuration.\n";

std::string repeatedMessage(unsigned tile) {
  return "Error: the tile " + std::to_string(tile) + " is repeated.\n";
}

void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property violated: %s\n", property);
  std::abort();
}

// The C locale's white space; a NUL byte is not.
bool isSpaceByte(std::uint8_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigitByte(std::uint8_t c) {
  return c >= '0' && c <= '9';
}

// One "%u" conversion as the model sees it.
struct Token {
  bool isNumber = false;  // at least one digit followed the optional sign
  bool fitsTile = false;  // the value is 0 to 15
  unsigned tile = 0;      // valid when fitsTile
  std::size_t end = 0;    // offset of the first byte left unread
  // The value "%u" stores, modulo 2^32, when it has at most nine significant digits; longer
  // numbers wrap in the C library, which is exactly what the reader must not do.
  bool libcComparable = false;
  std::uint32_t libcValue = 0;
};

Token readToken(const std::uint8_t* data, std::size_t size, std::size_t pos) {
  Token token;
  while (pos < size && isSpaceByte(data[pos]))
    ++pos;
  bool negative = false;
  if (pos < size && (data[pos] == '+' || data[pos] == '-')) {
    negative = data[pos] == '-';
    ++pos;  // "%u" keeps a sign consumed even when no digit follows
  }
  const std::size_t first = pos;
  while (pos < size && isDigitByte(data[pos]))
    ++pos;
  token.end = pos;
  if (pos == first) return token;
  token.isNumber = true;

  std::size_t significant = first;
  while (significant < pos && data[significant] == '0')
    ++significant;
  std::uint64_t magnitude = 0;
  const std::size_t digits = pos - significant;
  if (digits <= 9) {
    for (std::size_t i = significant; i < pos; ++i)
      magnitude = magnitude * 10 + (data[i] - '0');
    token.libcComparable = true;
    token.libcValue = static_cast<std::uint32_t>(negative ? 0 - magnitude : magnitude);
  }
  token.fitsTile = digits <= 2 && magnitude <= 15 && (!negative || magnitude == 0);
  token.tile = static_cast<unsigned>(magnitude);
  return token;
}

// Checks the model's tokenisation against fscanf("%u") on the same bytes.
void compareWithLibc(std::FILE* libc, const Token& token) {
  unsigned value = 0;
  const bool converted = std::fscanf(libc, "%u", &value) == 1;
  require(converted == token.isNumber, "model and fscanf disagree on whether a number was read");
  require(std::ftell(libc) == static_cast<long>(token.end),
          "model and fscanf disagree on where a number ends");
  if (converted && token.libcComparable) {
    require(value == token.libcValue, "model and fscanf disagree on a value");
  }
}

// Sum of inversions and the blank's row is odd exactly for the positions that reach the goal:
// a vertical slide changes both by an odd amount, a horizontal slide neither, and the goal
// has 0 + 3.
bool modelSolvable(const std::array<std::uint8_t, kTileCount>& tiles) {
  int inversions = 0;
  int blankRow = 0;
  for (int i = 0; i < kTileCount; ++i) {
    if (tiles[i] == 0) {
      blankRow = i / 4;
      continue;
    }
    for (int j = i + 1; j < kTileCount; ++j) {
      if (tiles[j] != 0 && tiles[j] < tiles[i]) ++inversions;
    }
  }
  return (inversions + blankRow) % 2 == 1;
}

struct Expectation {
  bool accepted = false;
  std::string message;  // empty when accepted
  std::array<std::uint8_t, kTileCount> tiles{};
  std::size_t consumed = 0;
};

Expectation model(const std::uint8_t* data, std::size_t size, std::FILE* libc) {
  Expectation expected;
  std::array<bool, kTileCount> seen{};
  for (int cell = 0; cell < kTileCount; ++cell) {
    const Token token = readToken(data, size, expected.consumed);
    compareWithLibc(libc, token);
    expected.consumed = token.end;
    if (!token.isNumber) {
      expected.message = kNotNumber;
      return expected;
    }
    if (!token.fitsTile) {
      expected.message = kOutOfRange;
      return expected;
    }
    if (seen[token.tile]) {
      expected.message = repeatedMessage(token.tile);
      return expected;
    }
    seen[token.tile] = true;
    expected.tiles[cell] = static_cast<std::uint8_t>(token.tile);
  }
  expected.accepted = modelSolvable(expected.tiles);
  if (!expected.accepted) expected.message = kUnsolvable;
  return expected;
}

bool isOneOfTheMessages(const std::string& printed) {
  if (printed == kNotNumber || printed == kOutOfRange || printed == kUnsolvable) return true;
  for (unsigned tile = 0; tile < kTileCount; ++tile) {
    if (printed == repeatedMessage(tile)) return true;
  }
  return false;
}

// A read-only stream over a private copy (fmemopen wants a writable buffer).
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : bytes_(data, data + size), file_(nullptr) {
    bytes_.push_back(0);  // keeps data() valid for empty input
    file_ = fmemopen(bytes_.data(), size, "r");
    require(file_ != nullptr, "fmemopen");
  }
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;
  ~Input() { std::fclose(file_); }
  std::FILE* file() const { return file_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::FILE* file_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  OutputCapture output;
  require(output.file() != nullptr, "open_memstream");
  Board board;
  // Poison so that a field the reader forgot to set cannot pass for a correct one.
  board.tiles.fill(kDontCare);
  board.column.fill(-1);
  board.row.fill(-1);
  const bool accepted = readConfiguration(board, input.file(), output.file());
  const long consumed = std::ftell(input.file());
  const std::string printed = output.text();

  Input libc(data, size);
  const Expectation expected = model(data, size, libc.file());

  if (accepted) {
    require(printed.empty(), "an accepted input printed something");
  } else {
    require(isOneOfTheMessages(printed), "a rejection printed other than exactly one message");
  }
  require(accepted == expected.accepted, "acceptance differs from the model");
  require(printed == expected.message, "message differs from the model");
  require(consumed == static_cast<long>(expected.consumed),
          "the reader consumed a different amount of input than \"%u\" would");
  if (!accepted) return 0;

  require(board.tiles == expected.tiles, "tiles differ from the model");
  std::array<bool, kTileCount> placed{};
  for (int cell = 0; cell < kTileCount; ++cell) {
    const unsigned tile = board.tiles[cell];
    require(tile < kTileCount && !placed[tile], "the tiles are not a permutation of 0 to 15");
    placed[tile] = true;
    require(board.row[tile] == cell / 4 && board.column[tile] == cell % 4,
            "row or column disagrees with the tile's cell");
  }
  OutputCapture parityOutput;
  require(parityOutput.file() != nullptr, "open_memstream");
  require(isSolvable(board, parityOutput.file()), "an accepted board fails the parity test");
  require(parityOutput.text().empty(), "a passing parity test printed something");
  return 0;
}
