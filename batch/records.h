// The records zelvar-batch writes: one JSON object a line, or CSV (RFC 4180) with a header.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <zelvar/zelvar.h>

namespace batch {

enum class Format { jsonl, csv };

// Which fields every record of a run has.
struct RecordLayout {
  Format format = Format::jsonl;
  bool withFile = false;  // several input files: each record names its own
  bool withTimes = true;  // the search's seconds
};

// The CSV header line, with its CRLF; empty for jsonl.
std::string header(const RecordLayout& layout);

// One whole record, with its line end. `line` counts from 1 in `file`. A solution that is
// not solved gives line, file and error alone.
std::string record(const RecordLayout& layout, std::uint64_t line, std::string_view file,
                   const zelvar::Solution& solution);

// `text` with every byte sequence that is not UTF-8 replaced by U+FFFD, so that any file name
// gives valid output.
std::string validUtf8(std::string_view text);

}  // namespace batch
