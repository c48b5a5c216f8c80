// pelmira-cli import: Horvex's solution SOLUC.DBF into a result document for ITACA.

#include "cli/commands.h"
#include "cli/run_options.h"
#include "import/import_run.h"

namespace pelmira::cli {

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
        [](const Arguments& args, Environment& env) {
            return runReported(
                args, env, "Informe de la importación",
                [](run::RunState& state, run::Interaction& ui, worktables::WorkFolder folder) {
                    return importing::ImportRun(state, ui, std::move(folder)).run();
                });
        },
    };
}

} // namespace pelmira::cli
