// Continuing a stopped run: what its output file already holds.
#pragma once

#include <cstdint>
#include <string>

#include "records.h"

namespace batch {

// The message of a position that cannot reach the goal: a record with it is no rejection.
inline constexpr const char* kUnsolvable = "The puzzle can not be solved in this configuration.";

struct ResumePoint {
  std::uint64_t records = 0;   // complete records kept, the header not counted
  std::uint64_t lastLine = 0;  // the line field of the last of them
  bool anyRejected = false;    // some kept record has an error other than kUnsolvable
  bool hasHeader = false;      // csv: the header is there and complete
};

// Reads the records that a run with `layout` wrote to `path`, keeps the complete ones and cuts
// off a torn last one, which a stopped run may leave. A missing file is an empty one. Returns
// why the file cannot be continued (unreadable, or not records of this layout), else "".
std::string prepareResume(const std::string& path, const RecordLayout& layout, ResumePoint& point);

}  // namespace batch
