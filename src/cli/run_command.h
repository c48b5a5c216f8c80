#pragma once

// The one place where pelmira-cli turns how a run ended into its exit status.

#include "cli/command.h"
#include "run/run_state.h"

#include <functional>

namespace pelmira::cli {

// kCompleted or kInputMissing.
int exitStatus(run::RunOutcome outcome);

// Calls `run` and returns the exit status of how it ended: by its outcome, or kFailed when an
// error ended it (its message on the error stream, after whatever the run printed). `after` runs
// last on every path, given the status (the report is printed there).
int exitStatusOf(Environment& env, const std::function<run::RunOutcome()>& run,
                 const std::function<void(int status)>& after);

} // namespace pelmira::cli
