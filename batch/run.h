// A whole run of zelvar-batch: the inputs read in order, every position line solved, its
// records written in input order.
#pragma once

#include "options.h"

namespace batch {

// Runs the batch that `options` describe (neither --help nor --version). Messages go to
// standard error. Returns the exit status: 0 when every line was solved or shown unsolvable,
// 1 when some line was rejected, 2 when an input could not be read, the output could not be
// written or continued, or the solver could not be built.
int runBatch(const Options& options);

}  // namespace batch
