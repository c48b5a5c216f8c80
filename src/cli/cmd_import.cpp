// pelmira-cli import: Horvex's solution SOLUC.DBF into a result document for ITACA.

#include "cli/commands.h"
#include "cli/run_command.h"
#include "cli/run_options.h"
#include "import/import_run.h"
#include "run/report.h"

#include <ostream>

namespace pelmira::cli {

namespace {

int runImport(const Arguments& args, Environment& env) {
    const bool wantReport = args.has(kReport);
    run::RunReport report;
    return exitStatusOf(
        env,
        [&] {
            run::RunState state = stateFrom(args);
            if (wantReport)
                state.observer = &report;
            worktables::WorkFolder folder = workFolderFrom(args);
            const auto ui = env.makeInteraction(answersFrom(args), env.out, env.err);
            importing::ImportRun run(state, *ui, std::move(folder));
            return run.run();
        },
        [&](int) {
            if (wantReport)
                env.out << run::formatReport(report.events(), "Informe de la importación");
            env.out.flush();
        });
}

} // namespace

Command declareImport() {
    return {
        "import",
        "Convierte la solución de Horvex (SOLUC.DBF) en un documento de resultado\n"
        "para ITACA, junto al archivo XML. Con --report, dice al final qué registros\n"
        "no han dado línea o la han dado con valores vacíos, y por qué.\n",
        {xmlArgument("El archivo XML de ITACA del que se exportó a Horvex; el resultado, "
                     "ResultadoHorvex seguido de su nombre, queda en su carpeta.")},
        {
            workdirOption(),
            templateOption("El código que se escribe en la casilla de plantilla del selector de "
                           "plantillas (por omisión, la que propone: la de DIASHORAST)."),
            languageOption("El texto del selector de idioma de la ventana principal, tal cual: "
                           "VALENCIÁ (por omisión) o CASTELLANO. Al importar solo decide los "
                           "nombres de los días de DIASHORAST."),
            reportOption("Al final, dice qué registros no han dado línea o la han dado con "
                         "valores vacíos, y por qué (también lo ocurrido antes de un error)."),
        },
        runImport,
    };
}

} // namespace pelmira::cli
