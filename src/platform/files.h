// Files as the table cache needs them, beyond what the language defines: a read-only view of
// a whole file (mapped where the system can, else read into memory), making a written file
// durable, and the folder where per-user caches belong.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace platform {

// A whole file's bytes, read-only, for as long as the object lives.
class FileView {
 public:
  FileView() = default;
  ~FileView();
  FileView(const FileView&) = delete;
  FileView& operator=(const FileView&) = delete;

  // Views the file at `path`, replacing any earlier view. False, with `error` set to the
  // system's reason, when it cannot be opened, sized, mapped or read; never throws but
  // std::bad_alloc from `error`.
  bool open(const std::string& path, std::string& error);
  void close() noexcept;

  const unsigned char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  const unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
  bool mapped_ = false;  // else data_ is owned memory from std::malloc
};

// Pushes what `file` holds to the device (after fflush), so that a rename that follows never
// exposes a file whose contents a crash could lose. True where the system offers no such call.
bool syncToDisk(std::FILE* file) noexcept;

// The folder for this user's caches of the named program: $XDG_CACHE_HOME/name, else
// $HOME/.cache/name (on Windows %LOCALAPPDATA%\name). Empty when none of them is set.
std::string cacheDirectory(const std::string& name);

// Creates a file that does not exist yet, for writing; null (errno set) when it exists or
// cannot be made.
std::FILE* createNewFile(const std::string& path) noexcept;

// Puts the file at `from` in the place of `to`, replacing it in one step where the system
// can, so that a reader sees the old file or the new one, never a part. False with `reason`
// set when it fails.
bool replaceFile(const std::string& from, const std::string& to, std::string& reason);

// A number that no other process running at the same time has (the process id).
unsigned long processNumber() noexcept;

}  // namespace platform
