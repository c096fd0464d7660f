#include "line_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace batch {
namespace {

constexpr std::size_t kBufferBytes = 1 << 16;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool isSeparator(char c) {
  return isBlank(c) || c == ',';
}

}  // namespace

LineReader::LineReader(std::FILE* file) : file_(file), buffer_(kBufferBytes) {}

bool LineReader::fill() {
  if (atEnd_) return false;
  begin_ = 0;
  end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
  // Editors on Windows may start a file with the UTF-8 byte-order mark.
  if (lineNumber_ == 0 && std::string_view(buffer_.data(), end_).starts_with(kBom))
    begin_ = kBom.size();
  if (end_ == 0) {
    atEnd_ = true;
    failed_ = std::ferror(file_) != 0;
    if (failed_) errorNumber_ = errno;
  }
  return end_ > 0;
}

bool LineReader::next(PositionLine& line) {
  while (true) {
    if (begin_ == end_ && !fill()) return false;
    ++lineNumber_;
    line.number = lineNumber_;
    line.text.clear();
    std::size_t length = 0;
    bool blank = true;
    char first = 0;  // the first non-blank character
    bool ended = false;
    while (!ended) {
      if (begin_ == end_ && !fill()) break;
      const char* start = buffer_.data() + begin_;
      const char* newline = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
      const std::size_t piece =
          newline != nullptr ? static_cast<std::size_t>(newline - start) : end_ - begin_;
      if (blank) {
        const char* found = std::find_if_not(start, start + piece, isBlank);
        if (found != start + piece) {
          blank = false;
          first = *found;
        }
      }
      // Only the first kMaxLineBytes and one more are kept: enough to tell a long line.
      const std::size_t room = kMaxLineBytes + 1 - std::min(line.text.size(), kMaxLineBytes + 1);
      line.text.append(start, std::min(piece, room));
      length += piece;
      begin_ += piece;
      if (newline != nullptr) {
        ++begin_;
        ended = true;
      }
    }
    if (failed_) return false;
    if (blank || first == '#') continue;
    if (!line.text.empty() && line.text.back() == '\r' && length <= kMaxLineBytes + 1) {
      line.text.pop_back();
      --length;
    }
    if (length > kMaxLineBytes) {
      line.text.resize(kMaxLineBytes);
      const auto cut = std::find_if(line.text.rbegin(), line.text.rend(), isSeparator);
      if (cut != line.text.rend()) line.text.erase(cut.base() - line.text.begin());
      line.text += " x";
    }
    return true;
  }
}

}  // namespace batch
