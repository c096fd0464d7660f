#include "system.h"

#include <csignal>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#define ZELVAR_BATCH_POSIX 1
#endif
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace batch {

#ifdef ZELVAR_BATCH_POSIX

bool isTerminal(std::FILE* stream) noexcept {
  return stream != nullptr && fileno(stream) >= 0 && isatty(fileno(stream)) == 1;
}

bool readerGone(std::FILE* stream) noexcept {
  if (stream == nullptr || fileno(stream) < 0) return false;
  // No events asked for: a closed reading end still reports an error or a hang-up, and a full
  // pipe, whose reader is only slow, reports neither.
  pollfd watched{fileno(stream), 0, 0};
  if (poll(&watched, 1, 0) != 1) return false;
  return (watched.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

bool standardInputOpen() noexcept {
  return fcntl(STDIN_FILENO, F_GETFD) != -1;
}

#else

bool isTerminal(std::FILE*) noexcept {
  return false;
}

bool readerGone(std::FILE*) noexcept {
  return false;
}

bool standardInputOpen() noexcept {
  return true;
}

#endif

void binaryStandardStreams() noexcept {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
}

void ignoreBrokenPipe() noexcept {
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

}  // namespace batch
