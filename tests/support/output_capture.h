// Streams for calling the library's reading and printing functions in-process: one that
// collects what is written to it, and one that reads a given text.
#pragma once

#include <cstdio>
#include <string>

// A temporary file rather than a memory stream: std::tmpfile is standard C, open_memstream is
// not (Windows lacks it). It is opened in binary mode, so the text comes back byte for byte.
class OutputCapture {
 public:
  OutputCapture() : file_(std::tmpfile()) {}
  OutputCapture(const OutputCapture&) = delete;
  OutputCapture& operator=(const OutputCapture&) = delete;
  ~OutputCapture() {
    if (file_ != nullptr) std::fclose(file_);
  }

  // The stream to hand over; null when it could not be opened.
  std::FILE* file() const { return file_; }

  // Closes the stream and returns everything written to it.
  std::string text() {
    std::string result;
    if (file_ == nullptr) return result;
    std::rewind(file_);
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file_)) > 0)
      result.append(buffer, got);
    std::fclose(file_);
    file_ = nullptr;
    return result;
  }

 private:
  std::FILE* file_;
};

// Everything `write` prints to the stream it is handed.
template <typename Write>
std::string captureOutput(Write&& write) {
  OutputCapture capture;
  if (capture.file() == nullptr) return "tmpfile failed";
  write(capture.file());
  return capture.text();
}

// A stream that reads `text` from its start; null when it could not be opened. The caller
// closes it.
inline std::FILE* inputStream(const std::string& text) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) return nullptr;
  if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
    std::fclose(file);
    return nullptr;
  }
  std::rewind(file);
  return file;
}
