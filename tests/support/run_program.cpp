#include "support/run_program.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {

ProgramRun runCommand(const std::string& command) {
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
  ProgramRun run;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    run.output.append(buffer, got);
  const int status = pclose(pipe);
  if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
  return run;
}

}  // namespace

ProgramRun runProgram(const std::string& input, const std::string& executable,
                      const std::string& shellPrefix) {
  return runCommandLine(input, shellPrefix + "'" + executable + "'");
}

ProgramRun runCommandLine(const std::string& input, const std::string& commandLine) {
  char inputPath[] = "/tmp/zelvar-input-XXXXXX";
  const int fd = mkstemp(inputPath);
  if (fd < 0) throw std::runtime_error("cannot create a temporary input file");
  std::FILE* inputFile = fdopen(fd, "wb");
  std::fwrite(input.data(), 1, input.size(), inputFile);
  std::fclose(inputFile);

  ProgramRun run = runCommand(commandLine + " < " + inputPath);
  std::remove(inputPath);
  return run;
}

ProgramRun runProgramWithClosedInput(const std::string& executable) {
  return runCommand("'" + executable + "' <&-");
}

bool shellSucceeds(const std::string& command) {
  const int status = std::system(("(" + command + ") >/dev/null 2>&1").c_str());
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
