// Runs the real zelvar executable with a given standard input and captures what it prints.
#pragma once

#include <string>

// Sanitizers reserve terabytes of address space, and an emulator (qemu-user) maps itself and
// its libraries into the program's, so no `ulimit -v` that lets such a program start can make
// its allocations fail. kAddressSpaceLimitMissing says why, for the tests that skip.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
inline constexpr bool kSanitized =
    __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
inline constexpr bool kSanitized = false;
#endif
#if defined(ZELVAR_EMULATED_PROGRAM)
inline constexpr bool kEmulated = true;
#else
inline constexpr bool kEmulated = false;
#endif
inline constexpr bool kAddressSpaceCanBeLimited = !kSanitized && !kEmulated;
inline constexpr const char* kAddressSpaceLimitMissing =
    kEmulated ? "the emulator's address space" : "the sanitizers' address space";

struct ProgramRun {
  std::string output;   // everything written to standard output
  int exitStatus = -1;  // -1 when the process did not exit normally
};

// Runs `executable` (default: the zelvar built with the tests) with `input` as its standard
// input. `shellPrefix` is put before the command, e.g. "ulimit -v 20000;".
ProgramRun runProgram(const std::string& input, const std::string& executable = ZELVAR_EXECUTABLE,
                      const std::string& shellPrefix = "");

// Runs the shell command `commandLine` (a program with its arguments, quoted as the shell
// wants them) with `input` as its standard input.
ProgramRun runCommandLine(const std::string& input, const std::string& commandLine);

// Runs `executable` with its standard input closed rather than empty.
ProgramRun runProgramWithClosedInput(const std::string& executable = ZELVAR_EXECUTABLE);

// Whether `command` succeeds in the shell the tests start the program from, for a test to
// skip when the system lacks what it needs: GNU's `timeout`, /dev/full and `ulimit -v` are
// not on every POSIX system (macOS has none of them).
bool shellSucceeds(const std::string& command);
