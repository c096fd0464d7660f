// A stream that collects what is written to it, for calling the library's printing functions
// in-process.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

class OutputCapture {
 public:
  OutputCapture() : file_(open_memstream(&buffer_, &size_)) {}
  OutputCapture(const OutputCapture&) = delete;
  OutputCapture& operator=(const OutputCapture&) = delete;
  ~OutputCapture() {
    if (file_ != nullptr) std::fclose(file_);
    std::free(buffer_);
  }

  // The stream to hand over; null when it could not be opened.
  std::FILE* file() const { return file_; }

  // Closes the stream and returns everything written to it.
  std::string text() {
    if (file_ != nullptr) {
      std::fclose(file_);
      file_ = nullptr;
    }
    return buffer_ == nullptr ? std::string() : std::string(buffer_, size_);
  }

 private:
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
};

// Everything `write` prints to the stream it is handed.
template <typename Write>
std::string captureOutput(Write&& write) {
  OutputCapture capture;
  if (capture.file() == nullptr) return "open_memstream failed";
  write(capture.file());
  return capture.text();
}
