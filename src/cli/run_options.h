#pragma once

// The options of the commands that run an export or an import, and what they give the run: the
// answers of its interaction, the run state and the work folder.

#include "cli/cli_interaction.h"
#include "cli/command.h"
#include "run/run_state.h"
#include "worktables/workfolder.h"

#include <functional>
#include <string>
#include <vector>

namespace pelmira::cli {

inline constexpr const char* kWorkdir = "--workdir";
inline constexpr const char* kTemplate = "--template";
inline constexpr const char* kLanguage = "--language";
inline constexpr const char* kGroupQuestion = "--group-question";
inline constexpr const char* kPruneQuestion = "--prune-question";
inline constexpr const char* kReport = "--report";

// The document argument XML.
Positional xmlArgument(std::string help);

Option workdirOption();
Option templateOption(std::string help);
Option languageOption(std::string help);
Option groupQuestionOption();
Option pruneQuestionOption();
Option reportOption(std::string help);

// --template, --language, --group-question and --prune-question as export and check take them.
std::vector<Option> exportRunOptions();

// XML as the file the dialog gives, --template (typed into the chooser's template box) and the
// answers to the two questions (--group-question, --prune-question; "si" when not given).
CliAnswers answersFrom(const Arguments& args);

// A run state whose language selector holds --language, the main window's selector (VALENCIÁ
// when not given): it decides the names whenever no chooser is shown, and the chooser starts
// from it.
run::RunState stateFrom(const Arguments& args);

// --workdir, or Horvex's own folder.
worktables::WorkFolder workFolderFrom(const Arguments& args);

// What `run` gets from the options: the run state, the interaction the environment makes over the
// answers and its streams, and the work folder.
using RunStarter = std::function<run::RunOutcome(run::RunState& state, run::Interaction& ui,
                                                 worktables::WorkFolder folder)>;

// Export and import as pelmira-cli runs them: `run` on what the options give, and with --report
// the report titled `reportTitle` after everything the run printed, also when an error ended it.
// Returns the exit status.
int runReported(const Arguments& args, Environment& env, const char* reportTitle,
                const RunStarter& run);

} // namespace pelmira::cli
