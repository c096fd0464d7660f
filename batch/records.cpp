#include "records.h"

#include <cstdio>

namespace batch {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length of the valid UTF-8 sequence at the start of `text`, 0 when there is none.
std::size_t sequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned low = 0x80, high = 0xBF;  // the second byte's range; later ones are 80 to BF
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

std::string jsonString(std::string_view text) {
  std::string result = "\"";
  for (const char c : validUtf8(text)) {
    switch (c) {
      case '"':
        result += "\\\"";
        break;
      case '\\':
        result += "\\\\";
        break;
      case '\n':
        result += "\\n";
        break;
      case '\r':
        result += "\\r";
        break;
      case '\t':
        result += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          result += escaped;
        } else {
          result += c;
        }
    }
  }
  return result + '"';
}

std::string csvField(std::string_view text) {
  const std::string valid = validUtf8(text);
  if (valid.find_first_of(",\"\r\n") == std::string::npos) return valid;
  std::string result = "\"";
  for (const char c : valid) {
    if (c == '"') result += '"';
    result += c;
  }
  return result + '"';
}

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", value);
  return text;
}

}  // namespace

std::string validUtf8(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  while (!text.empty()) {
    const std::size_t length = sequenceLength(text);
    if (length == 0) {
      result += kReplacement;
      text.remove_prefix(1);
    } else {
      result += text.substr(0, length);
      text.remove_prefix(length);
    }
  }
  return result;
}

std::string header(const RecordLayout& layout) {
  if (layout.format != Format::csv) return "";
  std::string result = "line,";
  if (layout.withFile) result += "file,";
  result += "position,length,moves,nodes,bounds,";
  if (layout.withTimes) result += "seconds,";
  return result + "error\r\n";
}

std::string record(const RecordLayout& layout, std::uint64_t line, std::string_view file,
                   const zelvar::Solution& solution) {
  const bool solved = solution.solved();
  if (layout.format == Format::jsonl) {
    std::string result = "{\"line\":" + std::to_string(line);
    if (layout.withFile) result += ",\"file\":" + jsonString(file);
    if (!solved) return result + ",\"error\":" + jsonString(solution.error) + "}\n";
    result += ",\"position\":\"" + zelvar::formatPosition(solution.position) + '"';
    result += ",\"length\":" + std::to_string(solution.length);
    result += ",\"moves\":\"" + zelvar::formatMoves(solution.moves) + '"';
    result += ",\"nodes\":" + std::to_string(solution.nodes);
    result += ",\"bounds\":[";
    for (std::size_t i = 0; i < solution.bounds.size(); ++i) {
      if (i > 0) result += ',';
      result += '[' + std::to_string(solution.bounds[i].bound) + ',' +
                std::to_string(solution.bounds[i].nodes) + ']';
    }
    result += ']';
    if (layout.withTimes) result += ",\"seconds\":" + seconds(solution.seconds);
    return result + "}\n";
  }
  std::string result = std::to_string(line) + ',';
  if (layout.withFile) result += csvField(file) + ',';
  if (solved) {
    std::string bounds;
    for (const zelvar::BoundCount& bound : solution.bounds) {
      if (!bounds.empty()) bounds += ' ';
      bounds += std::to_string(bound.bound) + ':' + std::to_string(bound.nodes);
    }
    result += zelvar::formatPosition(solution.position) + ',' + std::to_string(solution.length) +
              ',' + zelvar::formatMoves(solution.moves) + ',' + std::to_string(solution.nodes) +
              ',' + bounds + ',';
    if (layout.withTimes) result += seconds(solution.seconds) + ',';
    return result + "\r\n";
  }
  result += layout.withTimes ? ",,,,,," : ",,,,,";
  return result + csvField(solution.error) + "\r\n";
}

}  // namespace batch
