#pragma once

// The import run: Horvex's SOLUC.DBF back into a result document for ITACA.

#include "run/interaction.h"
#include "run/run_state.h"
#include "worktables/workfolder.h"

#include <filesystem>

namespace pelmira::importing {

class ImportRun {
public:
    ImportRun(run::RunState& state, run::Interaction& ui, worktables::WorkFolder folder);

    // BImportarClick without the window's own effects (see ExportRun::run()).
    run::RunOutcome run();

private:
    run::RunState& state_;
    run::Interaction& ui_;
    worktables::WorkFolder folder_;
};

// "ResultadoHorvex" + the input's file name, in the input's folder.
std::filesystem::path resultFileName(const std::filesystem::path& xmlFileName);

} // namespace pelmira::importing
