#include "resume.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

namespace batch {
namespace {

// Far above any record's size; more is no file of records.
constexpr std::size_t kMaxRecordBytes = 1 << 16;

constexpr std::string_view kNotRecords = "holds no records of zelvar-batch with these options";

// Checks one complete record (with its line end) and adds it to `point`.
bool take(std::string_view record, const RecordLayout& layout, ResumePoint& point) {
  if (layout.format == Format::csv && !point.hasHeader) {
    point.hasHeader = record == header(layout);
    return point.hasHeader;
  }
  const std::string_view start = layout.format == Format::jsonl ? "{\"line\":" : "";
  if (!record.starts_with(start)) return false;
  record.remove_prefix(start.size());
  std::uint64_t line = 0;
  std::size_t digits = 0;
  for (; digits < record.size() && record[digits] >= '0' && record[digits] <= '9'; ++digits)
    line = line * 10 + static_cast<unsigned>(record[digits] - '0');
  if (digits == 0 || digits > 19 || line == 0) return false;
  record.remove_prefix(digits);
  std::string_view error;
  if (layout.format == Format::jsonl) {
    if (!record.ends_with("}\n")) return false;
    if (record.starts_with(",\"file\":") != layout.withFile) return false;
    // Inside a JSON string every quote is escaped, so these keys cannot be part of one.
    const bool solved = record.find(",\"position\":") != std::string_view::npos;
    if (solved && (record.find(",\"seconds\":") != std::string_view::npos) != layout.withTimes)
      return false;
    constexpr std::string_view kError = ",\"error\":\"";
    const std::size_t at = record.find(kError);
    if (at != std::string_view::npos) {
      error = record.substr(at + kError.size());
      error = error.substr(0, error.find('"'));
    }
  } else {
    if (!record.ends_with("\r\n")) return false;
    record.remove_suffix(2);
    // The error comes last and no message needs quoting.
    error = record.substr(record.rfind(',') + 1);
  }
  point.anyRejected = point.anyRejected || (!error.empty() && error != kUnsolvable);
  point.lastLine = line;
  ++point.records;
  return true;
}

}  // namespace

std::string prepareResume(const std::string& path, const RecordLayout& layout, ResumePoint& point) {
  point = {};
  std::error_code code;
  if (!std::filesystem::exists(path, code)) return "";
  if (std::filesystem::is_directory(path, code)) return std::strerror(EISDIR);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) return std::strerror(errno);
  std::vector<char> buffer(1 << 16);
  std::string record;
  std::uint64_t kept = 0;  // bytes of complete records, header included
  bool quoted = false;     // csv: inside a quoted field, where a line end is data
  std::size_t got = 0;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
    for (std::size_t i = 0; i < got; ++i) {
      const char c = buffer[i];
      record += c;
      if (record.size() > kMaxRecordBytes) return std::string(kNotRecords);
      if (c == '"' && layout.format == Format::csv) quoted = !quoted;
      if (c != '\n' || quoted) continue;
      if (!take(record, layout, point)) return std::string(kNotRecords);
      kept += record.size();
      record.clear();
    }
  }
  if (std::ferror(file.get())) return std::strerror(errno);
  file.reset();
  if (!record.empty()) {
    std::filesystem::resize_file(path, kept, code);
    if (code) return code.message();
  }
  return "";
}

}  // namespace batch
