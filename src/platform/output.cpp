#include "platform/output.h"

#if defined(__unix__) || defined(__APPLE__)
#include <poll.h>
#include <stdio.h>
#define ZELVAR_HAS_POLL 1
#endif

namespace platform {

#ifdef ZELVAR_HAS_POLL

bool outputReaderGone(std::FILE* stream) noexcept {
  if (stream == nullptr) return false;
  const int descriptor = fileno(stream);
  if (descriptor < 0) return false;
  // No events asked for: the error and hang-up conditions are reported anyway, and a full pipe
  // (its reader still there, only slow) reports none of them.
  pollfd watched{descriptor, 0, 0};
  if (poll(&watched, 1, 0) != 1) return false;
  return (watched.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

#else

bool outputReaderGone(std::FILE*) noexcept {
  return false;
}

#endif

}  // namespace platform
