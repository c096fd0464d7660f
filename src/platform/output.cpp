#include "platform/output.h"

#if defined(__unix__) || defined(__APPLE__)
#include <poll.h>
#include <stdio.h>
#include <sys/stat.h>
#define ZELVAR_HAS_POLL 1
#endif
#if defined(__linux__)
#include <sys/vfs.h>
#endif

namespace platform {

#ifdef ZELVAR_HAS_POLL

namespace {

// Whether `descriptor` is one whose reader leaving is final: a socket, or a pipe that no one
// can open again. A named FIFO may get a new reader the moment the old one has gone, and the
// next write would reach it; so it counts as a file, whose reader the system cannot tell.
// Linux's anonymous pipes live on their own file system; elsewhere fstat shows a pipe and a
// named FIFO alike, and neither is watched.
bool watchable(int descriptor) noexcept {
  struct stat status;
  if (fstat(descriptor, &status) != 0) return false;
  if (S_ISSOCK(status.st_mode)) return true;
#if defined(__linux__)
  constexpr long kPipeFileSystem = 0x50495045;  // PIPEFS_MAGIC
  struct statfs fileSystem;
  return S_ISFIFO(status.st_mode) && fstatfs(descriptor, &fileSystem) == 0 &&
         static_cast<long>(fileSystem.f_type) == kPipeFileSystem;
#else
  return false;
#endif
}

}  // namespace

bool outputReaderGone(std::FILE* stream) noexcept {
  if (stream == nullptr) return false;
  const int descriptor = fileno(stream);
  // Only a pipe or a socket is asked: some systems' poll answers POLLNVAL for devices such as
  // terminals and /dev/null, and a descriptor that is really closed fails the next flush.
  if (descriptor < 0 || !watchable(descriptor)) return false;
  // No events asked for: the error and hang-up conditions are reported anyway, and a full pipe
  // (its reader still there, only slow) reports none of them.
  pollfd watched{descriptor, 0, 0};
  if (poll(&watched, 1, 0) != 1) return false;
  return (watched.revents & (POLLERR | POLLHUP)) != 0;
}

#else

bool outputReaderGone(std::FILE*) noexcept {
  return false;
}

#endif

}  // namespace platform
