#include "platform/files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#define ZELVAR_HAS_MMAP 1
#elif defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#endif

namespace platform {

FileView::~FileView() {
  close();
}

void FileView::close() noexcept {
#ifdef ZELVAR_HAS_MMAP
  if (mapped_ && data_ != nullptr) {
    munmap(const_cast<unsigned char*>(data_), size_);
  }
#endif
  if (!mapped_) std::free(const_cast<unsigned char*>(data_));
  data_ = nullptr;
  size_ = 0;
  mapped_ = false;
}

bool FileView::open(const std::string& path, std::string& error) {
  close();
#ifdef ZELVAR_HAS_MMAP
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    error = std::strerror(errno);
    return false;
  }
  struct stat status;
  if (fstat(descriptor, &status) != 0) {
    error = std::strerror(errno);
    ::close(descriptor);
    return false;
  }
  size_ = static_cast<std::size_t>(status.st_size);
  if (size_ == 0) {
    ::close(descriptor);
    mapped_ = true;
    return true;
  }
  int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
  // Every page is read at once by the checksum anyway; faulting them in one call is faster.
  flags |= MAP_POPULATE;
#endif
  void* mapping = mmap(nullptr, size_, PROT_READ, flags, descriptor, 0);
  const int mapError = errno;
  ::close(descriptor);
  if (mapping == MAP_FAILED) {
    size_ = 0;
    error = std::strerror(mapError);
    return false;
  }
  data_ = static_cast<const unsigned char*>(mapping);
  mapped_ = true;
  return true;
#else
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  std::error_code code;
  const std::uintmax_t size = std::filesystem::file_size(path, code);
  if (code) {
    std::fclose(file);
    error = code.message();
    return false;
  }
  unsigned char* bytes = static_cast<unsigned char*>(std::malloc(size == 0 ? 1 : size));
  if (bytes == nullptr) {
    std::fclose(file);
    error = "not enough memory to read it";
    return false;
  }
  const std::size_t read = std::fread(bytes, 1, size, file);
  std::fclose(file);
  if (read != size) {
    std::free(bytes);
    error = "read error";
    return false;
  }
  data_ = bytes;
  size_ = static_cast<std::size_t>(size);
  mapped_ = false;
  return true;
#endif
}

bool syncToDisk(std::FILE* file) noexcept {
  if (std::fflush(file) != 0) return false;
#ifdef ZELVAR_HAS_MMAP
  return fsync(fileno(file)) == 0;
#elif defined(_WIN32)
  return _commit(_fileno(file)) == 0;
#else
  return true;
#endif
}

std::string cacheDirectory(const std::string& name) {
  namespace fs = std::filesystem;
#if defined(_WIN32)
  if (const char* local = std::getenv("LOCALAPPDATA"); local != nullptr && *local != '\0') {
    return (fs::path(local) / name).string();
  }
#endif
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && *cache != '\0') {
    return (fs::path(cache) / name).string();
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return (fs::path(home) / ".cache" / name).string();
  }
  return {};
}

std::FILE* createNewFile(const std::string& path) noexcept {
#ifdef ZELVAR_HAS_MMAP
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (descriptor < 0) return nullptr;
  std::FILE* file = fdopen(descriptor, "wb");
  if (file == nullptr) ::close(descriptor);
  return file;
#elif defined(_WIN32)
  const int descriptor =
      _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (descriptor < 0) return nullptr;
  std::FILE* file = _fdopen(descriptor, "wb");
  if (file == nullptr) _close(descriptor);
  return file;
#else
  // Only the name's uniqueness keeps two writers apart here.
  if (std::FILE* existing = std::fopen(path.c_str(), "rb")) {
    std::fclose(existing);
    errno = EEXIST;
    return nullptr;
  }
  return std::fopen(path.c_str(), "wb");
#endif
}

bool replaceFile(const std::string& from, const std::string& to, std::string& reason) {
#if defined(_WIN32)
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  reason = std::error_code(static_cast<int>(GetLastError()), std::system_category()).message();
  return false;
#else
  // POSIX rename replaces the target in one step.
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  reason = std::strerror(errno);
  return false;
#endif
}

unsigned long processNumber() noexcept {
#ifdef ZELVAR_HAS_MMAP
  return static_cast<unsigned long>(getpid());
#elif defined(_WIN32)
  return static_cast<unsigned long>(_getpid());
#else
  return 0;
#endif
}

}  // namespace platform
