// Runs the real zelvar executable with a given standard input and captures what it prints.
#pragma once

#include <string>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
inline constexpr bool kSanitized =
    __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
inline constexpr bool kSanitized = false;
#endif
// Sanitizers reserve terabytes of address space, so no `ulimit -v` that lets a sanitized
// program start can make its allocations fail.
inline constexpr bool kAddressSpaceCanBeLimited = !kSanitized;

struct ProgramRun {
  std::string output;   // everything written to standard output
  int exitStatus = -1;  // -1 when the process did not exit normally
};

// Runs `executable` (default: the zelvar built with the tests) with `input` as its standard
// input. `shellPrefix` is put before the command, e.g. "ulimit -v 20000;".
ProgramRun runProgram(const std::string& input, const std::string& executable = ZELVAR_EXECUTABLE,
                      const std::string& shellPrefix = "");

// Runs `executable` with its standard input closed rather than empty.
ProgramRun runProgramWithClosedInput(const std::string& executable = ZELVAR_EXECUTABLE);
