// pelmira-cli export: an ITACA file into Horvex's work tables.

#include "cli/commands.h"
#include "cli/run_options.h"
#include "export/export_run.h"

#include <vector>

namespace pelmira::cli {

namespace {

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
        [](const Arguments& args, Environment& env) {
            return runReported(
                args, env, "Informe de la exportación",
                [](run::RunState& state, run::Interaction& ui, worktables::WorkFolder folder) {
                    return exporting::ExportRun(state, ui, std::move(folder)).run();
                });
        },
    };
}

} // namespace pelmira::cli
