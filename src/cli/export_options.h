#pragma once

// The options that pelmira-cli export and pelmira-cli check share.

#include "cli/cli_interaction.h"
#include "cli/commands.h"

#include <filesystem>
#include <optional>
#include <string>

namespace pelmira::cli {

struct ExportOptions {
    CliAnswers answers;                           // the file, template, language and answers
    std::optional<std::filesystem::path> workdir; // --workdir (export only)
    bool report = false;                          // --report (export only)
};

// Reads XML [--workdir DIR] [--template CODE] [--language TEXT] [--group-question si|no]
// [--prune-question si|no] [--report]; `command` names the subcommand in the messages and
// decides whether --workdir and --report are taken. nullopt after a usage error has been
// printed on stderr.
std::optional<ExportOptions> parseExportOptions(const Args& args, const std::string& command);

} // namespace pelmira::cli
