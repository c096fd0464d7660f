// Whether anyone still reads an output stream, where the system can tell without writing.
#pragma once

#include <cstdio>

namespace platform {

// True when `stream` writes to a socket, or to a pipe that nothing can open again (Linux's
// anonymous pipes), whose reading end is closed, so that every later write fails. False when
// the reader is there or only slow, for a file, a terminal, a device or a named FIFO (whose
// next reader may come), for nullptr, and wherever the system offers no way to ask. Does not
// block; costs a few system calls.
bool outputReaderGone(std::FILE* stream) noexcept;

}  // namespace platform
