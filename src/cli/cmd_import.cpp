#include "cli/cli_interaction.h"
#include "cli/commands.h"
#include "cli/run_command.h"
#include "import/import_run.h"
#include "run/report.h"
#include "run/run_state.h"
#include "text/error.h"
#include "text/text.h"
#include "worktables/workfolder.h"

#include <exception>
#include <iostream>
#include <optional>
#include <string>

namespace pelmira::cli {

namespace {

int badUsage(const std::string& why) {
    std::cerr << "pelmira-cli import: " << why << '\n' << usage();
    return 2;
}

} // namespace

// import XML [--workdir DIR] [--template CODE] [--language TEXT] [--report]
//
// --template is typed into the chooser's template box (default: the template the chooser
// proposes from the current DIASHORAST). --language is the main window's language selector: in
// the import run it only decides the day names of the rebuilt DIASHORAST; the chooser hides its
// own selector in this mode. --report prints, after the run, the records that gave no line or
// lines with empty values, and why (also what was reported before an error ended the run).
int importCommand(const Args& args) {
    std::optional<std::string> xml;
    std::optional<std::string> workdir;
    std::optional<std::string> templateText;
    std::optional<std::string> language;
    bool wantReport = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::optional<std::string>& into) {
            if (into)
                return false;
            if (i + 1 >= args.size())
                return false;
            into = args[++i];
            return true;
        };
        if (a == "--workdir") {
            if (!value(workdir))
                return badUsage("falta el valor de --workdir o está repetido");
        } else if (a == "--template") {
            if (!value(templateText))
                return badUsage("falta el valor de --template o está repetido");
        } else if (a == "--language") {
            if (!value(language))
                return badUsage("falta el valor de --language o está repetido");
        } else if (a == "--report") {
            wantReport = true;
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            return badUsage("opción desconocida '" + a + "'");
        } else if (!xml) {
            xml = a;
        } else {
            return badUsage("sobra el argumento '" + a + "'");
        }
    }
    if (!xml)
        return badUsage("falta el archivo XML");

    run::RunReport report;
    const auto printReport = [&] {
        if (wantReport)
            std::cout << run::formatReport(report.events(), "Informe de la importación");
        std::cout.flush();
    };

    return exitStatusOf(
        [&] {
            run::RunState state;
            if (wantReport)
                state.observer = &report;
            if (language)
                state.language = text::toCp1252(*language);

            CliAnswers answers;
            answers.xml = *xml;
            if (templateText)
                answers.templateText = text::toCp1252(*templateText);

            worktables::WorkFolder folder =
                workdir ? worktables::WorkFolder(*workdir) : worktables::WorkFolder::standard();
            CliInteraction ui(std::move(answers), std::cout, std::cerr);
            importing::ImportRun run(state, ui, std::move(folder));
            return run.run();
        },
        printReport);
}

} // namespace pelmira::cli
