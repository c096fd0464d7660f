// Whether anyone still reads an output stream, where the system can tell without writing.
#pragma once

#include <cstdio>

namespace platform {

// True when `stream` writes to a pipe or socket whose reading end is closed, so that every
// later write fails. False when the reader is there, when the stream is a file or a terminal,
// for nullptr, and wherever the system offers no way to ask. Does not block; costs about one
// system call.
bool outputReaderGone(std::FILE* stream) noexcept;

}  // namespace platform
