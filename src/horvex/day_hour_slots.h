#pragma once

// DIASHORAST, the grid of the school week that Horvex plans in: the export run's tenth step, and
// the import run's rebuild for the template it was given.

#include "run/run_state.h"
#include "worktables/workfolder.h"

namespace pelmira::horvex {

// Rebuilds DIASHORAST from the period list, template code and language of `state`: every period
// of the list on each of the seven days, slot by slot.
void BuildDayHourSlots(const run::RunState& state, const worktables::WorkFolder& folder);

} // namespace pelmira::horvex
