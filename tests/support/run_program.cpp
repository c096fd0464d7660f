#include "support/run_program.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>

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

namespace {

// Appends what `fd` gives until `done` holds, the writer closes or the deadline passes.
template <typename Done>
void readUntil(int fd, std::string& text, std::chrono::steady_clock::time_point deadline,
               Done done) {
  char buffer[4096];
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    pollfd readable{fd, POLLIN, 0};
    const int ready = poll(&readable, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return;
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace

PromptedRun runAfterPrompt(const std::string& prompt, const std::string& input, int seconds,
                           const std::string& executable) {
  // A program that dies after its prompt must fail the test, not end it by a signal.
  std::signal(SIGPIPE, SIG_IGN);
  int toChild[2];
  int fromChild[2];
  if (pipe(toChild) != 0) throw std::runtime_error("cannot make a pipe");
  if (pipe(fromChild) != 0) {
    close(toChild[0]);
    close(toChild[1]);
    throw std::runtime_error("cannot make a pipe");
  }
  const pid_t child = fork();
  if (child == 0) {
    dup2(toChild[0], STDIN_FILENO);
    dup2(fromChild[1], STDOUT_FILENO);
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]})
      close(fd);
    execl(executable.c_str(), executable.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);

  PromptedRun run;
  if (child > 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    readUntil(fromChild[0], run.output, deadline,
              [&] { return run.output.find(prompt) != std::string::npos; });
    run.promptArrived = run.output.find(prompt) != std::string::npos;
    if (run.promptArrived) {
      const ssize_t written = write(toChild[1], input.data(), input.size());
      (void)written;  // a short write shows in the report
    }
    close(toChild[1]);
    readUntil(fromChild[0], run.output, deadline, [] { return false; });
    kill(child, SIGKILL);  // gone already unless it outlived the deadline
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
  } else {
    close(toChild[1]);
  }
  close(fromChild[0]);
  return run;
}
