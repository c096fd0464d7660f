// What zelvar-batch needs of the system beyond the C++ standard library, each with a portable
// fallback where the system offers no way to ask.
#pragma once

#include <cstdio>

namespace batch {

// True when `stream` is a terminal; false wherever that cannot be told.
bool isTerminal(std::FILE* stream) noexcept;

// True when `stream` writes to a pipe or socket whose reader has gone, so that every later
// write fails; false otherwise and wherever the system cannot tell without writing.
bool readerGone(std::FILE* stream) noexcept;

// True unless the process was started with its standard input closed.
bool standardInputOpen() noexcept;

// A reader that leaves must make the next write fail rather than end the process by a signal.
void ignoreBrokenPipe() noexcept;

// Records are bytes: where the system translates line ends on standard input and output (on
// Windows, LF to CR LF), it is told not to, so that records are the same on every system.
void binaryStandardStreams() noexcept;

}  // namespace batch
