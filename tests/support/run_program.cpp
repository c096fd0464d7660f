#include "support/run_program.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

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
  char inputPath[] = "/tmp/zelvar-input-XXXXXX";
  const int fd = mkstemp(inputPath);
  if (fd < 0) throw std::runtime_error("cannot create a temporary input file");
  std::FILE* inputFile = fdopen(fd, "wb");
  std::fwrite(input.data(), 1, input.size(), inputFile);
  std::fclose(inputFile);

  ProgramRun run = runCommand(shellPrefix + "'" + executable + "' < " + inputPath);
  std::remove(inputPath);
  return run;
}

ProgramRun runProgramWithClosedInput(const std::string& executable) {
  return runCommand("'" + executable + "' <&-");
}

PromptedRun runAfterPrompt(const std::string& prompt, const std::string& input, int seconds,
                           const std::string& executable) {
  int toChild[2];
  int fromChild[2];
  if (pipe(toChild) != 0 || pipe(fromChild) != 0) throw std::runtime_error("cannot make pipes");
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("cannot fork");
  if (child == 0) {
    dup2(toChild[0], STDIN_FILENO);
    dup2(fromChild[1], STDOUT_FILENO);
    close(toChild[0]);
    close(toChild[1]);
    close(fromChild[0]);
    close(fromChild[1]);
    execl(executable.c_str(), executable.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);

  PromptedRun run;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  char buffer[4096];
  while (run.output.find(prompt) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd readable{fromChild[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0) break;
    const ssize_t got = read(fromChild[0], buffer, sizeof buffer);
    if (got <= 0) break;
    run.output.append(buffer, static_cast<std::size_t>(got));
  }
  run.promptArrived = run.output.find(prompt) != std::string::npos;
  if (run.promptArrived) {
    if (write(toChild[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
      throw std::runtime_error("cannot write the input");
    }
  } else {
    kill(child, SIGKILL);
  }
  close(toChild[1]);
  for (ssize_t got; (got = read(fromChild[0], buffer, sizeof buffer)) > 0;)
    run.output.append(buffer, static_cast<std::size_t>(got));
  close(fromChild[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
  return run;
}
