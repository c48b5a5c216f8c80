// pelmira-cli export XML [--workdir DIR] [--template CODE] [--language TEXT]
//                        [--group-question si|no] [--prune-question si|no] [--report]

#include "cli/cli_interaction.h"
#include "cli/commands.h"
#include "cli/export_options.h"
#include "cli/run_command.h"
#include "export/export_run.h"
#include "run/report.h"
#include "run/run_state.h"
#include "text/error.h"
#include "text/text.h"
#include "worktables/workfolder.h"

#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

namespace pelmira::cli {

std::optional<ExportOptions> parseExportOptions(const Args& args, const std::string& command) {
    const bool isExport = command == "export";
    const auto badUsage = [&](const std::string& problem) {
        std::cerr << "pelmira-cli " << command << ": " << problem << "\n" << usage();
        return std::nullopt;
    };

    ExportOptions options;
    CliAnswers& answers = options.answers;
    std::optional<std::filesystem::path> xml;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool isOption = arg.size() > 2 && arg.compare(0, 2, "--") == 0;
        if (!isOption) {
            if (xml)
                return badUsage("sobra el argumento '" + arg + "'");
            xml = std::filesystem::path(arg);
            continue;
        }
        if (isExport && arg == "--report") {
            options.report = true;
            continue;
        }
        if (!(isExport && arg == "--workdir") && arg != "--template" && arg != "--language" &&
            arg != "--group-question" && arg != "--prune-question")
            return badUsage("opción desconocida '" + arg + "'");
        if (i + 1 >= args.size())
            return badUsage("falta el valor de la opción '" + arg + "'");
        const std::string& value = args[++i];
        if (arg == "--workdir") {
            options.workdir = std::filesystem::path(value);
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
    return options;
}

int exportCommand(const Args& args) {
    std::optional<ExportOptions> options = parseExportOptions(args, "export");
    if (!options)
        return 2;

    run::RunReport report;
    // The report comes after everything the run printed, also when an error ended it.
    const auto printReport = [&] {
        if (options->report)
            std::cout << run::formatReport(report.events(), "Informe de la exportación");
        std::cout.flush();
    };

    return exitStatusOf(
        [&] {
            const worktables::WorkFolder folder = options->workdir
                                                      ? worktables::WorkFolder(*options->workdir)
                                                      : worktables::WorkFolder::standard();
            run::RunState state;
            if (options->report)
                state.observer = &report;
            CliInteraction ui(options->answers, std::cout, std::cerr);
            exporting::ExportRun run(state, ui, folder);
            return run.run();
        },
        printReport);
}

} // namespace pelmira::cli
