// The progress line that zelvar-batch keeps on standard error while that is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace batch {

class Progress {
 public:
  // `terminal` is borrowed; nullptr shows nothing. `total`: the records the whole run will
  // have, when known; `done`: those already written before this run (a resumed one).
  Progress(std::FILE* terminal, std::optional<std::uint64_t> total, std::uint64_t done);

  // Another record is out.
  void recordDone();
  // Shows the line again if the last showing is old enough; cheap to call often.
  void tick();
  // Shows the final counts and ends the line.
  void finish();

 private:
  using Clock = std::chrono::steady_clock;
  void show();

  std::FILE* terminal_;
  std::optional<std::uint64_t> total_;
  std::uint64_t firstDone_;  // not counted in the rate
  std::uint64_t done_;
  Clock::time_point start_ = Clock::now();
  Clock::time_point shown_{};
};

}  // namespace batch
