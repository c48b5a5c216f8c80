#pragma once

// The one place where pelmira-cli shows an error that ends a run.

#include "run/run_state.h"

#include <functional>

namespace pelmira::cli {

// Calls `run` and turns how it ended into the exit status: 0 completed, 3 input missing, 1 an
// error (its message on standard error, after whatever the run printed). `after` runs last on
// every path (the report is printed there).
int exitStatusOf(const std::function<run::RunOutcome()>& run, const std::function<void()>& after);

} // namespace pelmira::cli
