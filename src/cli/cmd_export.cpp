// pelmira-cli export: an ITACA file into Horvex's work tables.

#include "cli/commands.h"
#include "cli/run_command.h"
#include "cli/run_options.h"
#include "export/export_run.h"
#include "run/report.h"

#include <ostream>
#include <vector>

namespace pelmira::cli {

namespace {

int runExport(const Arguments& args, Environment& env) {
    const bool wantReport = args.has(kReport);
    run::RunReport report;
    return exitStatusOf(
        env,
        [&] {
            const worktables::WorkFolder folder = workFolderFrom(args);
            run::RunState state = stateFrom(args);
            if (wantReport)
                state.observer = &report;
            const auto ui = env.makeInteraction(answersFrom(args), env.out, env.err);
            exporting::ExportRun run(state, *ui, folder);
            return run.run();
        },
        // The report comes after everything the run printed, also when an error ended it.
        [&](int) {
            if (wantReport)
                env.out << run::formatReport(report.events(), "Informe de la exportación");
            env.out.flush();
        });
}

std::vector<Option> exportOptions() {
    std::vector<Option> options{workdirOption()};
    for (Option& o : exportRunOptions())
        options.push_back(std::move(o));
    options.push_back(reportOption("Al final, dice qué filas se han descartado, recortado o "
                                   "dejado vacías, y por qué (también lo ocurrido antes de un "
                                   "error)."));
    return options;
}

} // namespace

Command declareExport() {
    return {
        "export",
        "Reconstruye las tablas de trabajo de Horvex a partir de un archivo de ITACA.\n"
        "Con --report, dice al final qué filas se han descartado, recortado o dejado\n"
        "vacías, y por qué.\n",
        {xmlArgument("El archivo XML de ITACA (el documento del centro).")},
        exportOptions(),
        runExport,
    };
}

} // namespace pelmira::cli
