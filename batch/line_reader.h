// Reads a file of positions a line at a time, in bounded memory whatever its lines' lengths,
// and hands out the position lines: those that are neither blank nor comments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace batch {

// No position needs more than this: sixteen numbers with generous spacing take under 100 bytes.
inline constexpr std::size_t kMaxLineBytes = 1024;

struct PositionLine {
  std::uint64_t number = 0;  // in its file, from 1
  // The line without its end (LF, or CR LF). A line of more than kMaxLineBytes is cut after the
  // last separator in its first kMaxLineBytes and ends in " x" instead, so that it is refused
  // with the first problem of what was kept, and never solved.
  std::string text;
};

class LineReader {
 public:
  // `file` is borrowed and stays open; it is read from where it stands.
  explicit LineReader(std::FILE* file);

  // The next position line. False at the end of the file and on a read error (failed()).
  // Blank lines (white space only) and lines whose first non-blank character is '#' are
  // skipped; the last line needs no line end, and a UTF-8 byte-order mark opening the file is
  // skipped.
  bool next(PositionLine& line);

  bool failed() const noexcept { return failed_; }
  int errorNumber() const noexcept { return errorNumber_; }  // errno of the failed read

 private:
  bool fill();

  std::FILE* file_;  // borrowed
  std::vector<char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::uint64_t lineNumber_ = 0;
  bool atEnd_ = false;
  bool failed_ = false;
  int errorNumber_ = 0;
};

}  // namespace batch
