// pelmira-cli export XML [--workdir DIR] [--template CODE] [--language TEXT]
//                        [--group-question si|no] [--prune-question si|no]

#include "cli/cli_interaction.h"
#include "cli/commands.h"
#include "export/export_run.h"
#include "export/run_state.h"
#include "text/error.h"
#include "text/text.h"
#include "worktables/workfolder.h"

#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

namespace pelmira::cli {

namespace {

int badUsage(const std::string& problem) {
    std::cerr << "pelmira-cli export: " << problem << "\n" << usage();
    return 2;
}

} // namespace

int exportCommand(const Args& args) {
    CliAnswers answers;
    std::optional<std::filesystem::path> xml;
    std::optional<std::filesystem::path> workdir;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool isOption = arg.size() > 2 && arg.compare(0, 2, "--") == 0;
        if (!isOption) {
            if (xml)
                return badUsage("sobra el argumento '" + arg + "'");
            xml = std::filesystem::path(arg);
            continue;
        }
        if (arg != "--workdir" && arg != "--template" && arg != "--language" &&
            arg != "--group-question" && arg != "--prune-question")
            return badUsage("opción desconocida '" + arg + "'");
        if (i + 1 >= args.size())
            return badUsage("falta el valor de la opción '" + arg + "'");
        const std::string& value = args[++i];
        if (arg == "--workdir") {
            workdir = std::filesystem::path(value);
        } else if (arg == "--template") {
            answers.templateText = text::toCp1252(value);
        } else if (arg == "--language") {
            answers.languageText = text::toCp1252(value);
        } else {
            if (value != "si" && value != "no")
                return badUsage("el valor de '" + arg + "' debe ser si o no, no '" + value + "'");
            (arg == "--group-question" ? answers.allTemplates : answers.pruneUnused) =
                value == "si";
        }
    }
    if (!xml)
        return badUsage("falta el archivo XML");
    answers.xml = *xml;

    // The one place where an error that ends the run is shown.
    try {
        const worktables::WorkFolder folder =
            workdir ? worktables::WorkFolder(*workdir) : worktables::WorkFolder::standard();
        exporting::RunState state;
        CliInteraction ui(answers, std::cout, std::cerr);
        exporting::ExportRun run(state, ui, folder);
        const exporting::RunOutcome outcome = run.run();
        std::cout.flush();
        return outcome == exporting::RunOutcome::Completed ? 0 : 3;
    } catch (const Error& e) {
        std::cout.flush();
        std::cerr << e.what() << '\n';
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "Error inesperado: " << e.what() << '\n';
    }
    return 1;
}

} // namespace pelmira::cli
