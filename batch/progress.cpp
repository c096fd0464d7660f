#include "progress.h"

#include <string>

namespace batch {
namespace {

// A few updates a second: often enough to look alive, rarely enough to cost nothing.
constexpr auto kInterval = std::chrono::milliseconds(250);

std::string duration(double seconds) {
  const auto whole = static_cast<std::uint64_t>(seconds + 0.5);
  char text[40];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%llu:%02u:%02u",
                  static_cast<unsigned long long>(whole / 3600),
                  static_cast<unsigned>(whole / 60 % 60), static_cast<unsigned>(whole % 60));
  } else {
    std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(whole / 60),
                  static_cast<unsigned>(whole % 60));
  }
  return text;
}

}  // namespace

Progress::Progress(std::FILE* terminal, std::optional<std::uint64_t> total, std::uint64_t done)
    : terminal_(terminal), total_(total), firstDone_(done), done_(done) {}

void Progress::recordDone() {
  ++done_;
  tick();
}

void Progress::tick() {
  if (terminal_ == nullptr || Clock::now() - shown_ < kInterval) return;
  show();
}

void Progress::finish() {
  if (terminal_ == nullptr) return;
  show();
  std::fputc('\n', terminal_);
  std::fflush(terminal_);
}

void Progress::show() {
  const auto now = Clock::now();
  shown_ = now;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const double rate = elapsed > 0 ? static_cast<double>(done_ - firstDone_) / elapsed : 0;
  std::string line = "zelvar-batch: " + std::to_string(done_);
  if (total_) line += '/' + std::to_string(*total_);
  char rateText[32];
  std::snprintf(rateText, sizeof rateText, "%.1f", rate);
  line += std::string(" lines, ") + rateText + " lines/s, " + duration(elapsed) + " elapsed";
  if (total_ && rate > 0 && *total_ >= done_)
    line += ", " + duration(static_cast<double>(*total_ - done_) / rate) + " left";
  // Back to the line's start, and clear what a longer line before left behind.
  std::fprintf(terminal_, "\r%s\x1b[K", line.c_str());
  std::fflush(terminal_);
}

}  // namespace batch
