// zelvar-batch: solves files of fifteen-puzzle positions and writes one record a line.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include <zelvar/zelvar.h>

#include "options.h"
#include "run.h"
#include "system.h"

int main(int argc, char** argv) {
  batch::ignoreBrokenPipe();
  batch::binaryStandardStreams();
  std::string error;
  const auto options = batch::parseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::fprintf(stderr, "zelvar-batch: %s\n", error.c_str());
    return 2;
  }
  if (options->help || options->version) {
    const std::string text =
        options->help ? batch::usage() : std::string("zelvar-batch ") + zelvar::version() + '\n';
    return std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 2;
  }
  try {
    return batch::runBatch(*options);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "zelvar-batch: out of memory\n");
    return 2;
  }
}
