#include "cli/run_options.h"

#include "cli/run_command.h"
#include "run/report.h"
#include "text/text.h"

#include <ostream>

namespace pelmira::cli {

Positional xmlArgument(std::string help) {
    return {"XML", "falta el archivo XML", std::move(help)};
}

Option workdirOption() {
    return {kWorkdir,
            "DIR",
            {},
            "La carpeta de las tablas de trabajo, en lugar de la de Horvex (C:\\HTEMP; fuera de "
            "Windows, la unidad C: de Wine)."};
}

Option templateOption(std::string help) {
    return {kTemplate, "CODIGO", {}, std::move(help)};
}

Option languageOption(std::string help) {
    return {kLanguage, "TEXTO", {}, std::move(help)};
}

Option groupQuestionOption() {
    return {kGroupQuestion,
            "",
            {"si", "no"},
            "La respuesta a la pregunta de si se toman los datos de todas las plantillas (por "
            "omisión, si); con no, solo los de la plantilla elegida."};
}

Option pruneQuestionOption() {
    return {kPruneQuestion,
            "",
            {"si", "no"},
            "La respuesta a la pregunta de si se quitan los grupos y los profesores sin clases "
            "en la plantilla elegida (por omisión, si)."};
}

Option reportOption(std::string help) {
    return {kReport, "", {}, std::move(help)};
}

std::vector<Option> exportRunOptions() {
    return {
        templateOption("El código que se escribe en la casilla de plantilla del selector de "
                       "plantillas (por omisión, la primera plantilla del documento). Sin "
                       "plantillas en el documento no se muestra el selector."),
        languageOption("El texto del selector de idioma de la ventana principal, tal cual: "
                       "VALENCIÁ (por omisión) o CASTELLANO. Decide los nombres que se toman y "
                       "los de los días; el selector de plantillas parte de él."),
        groupQuestionOption(),
        pruneQuestionOption(),
    };
}

CliAnswers answersFrom(const Arguments& args) {
    CliAnswers answers;
    answers.xml = std::filesystem::path(args.positionals().front());
    if (const std::string* code = args.value(kTemplate))
        answers.templateText = text::toCp1252(*code);
    if (const std::string* answer = args.value(kGroupQuestion))
        answers.allTemplates = *answer == "si";
    if (const std::string* answer = args.value(kPruneQuestion))
        answers.pruneUnused = *answer == "si";
    return answers;
}

run::RunState stateFrom(const Arguments& args) {
    run::RunState state;
    if (const std::string* language = args.value(kLanguage))
        state.language = text::toCp1252(*language);
    return state;
}

worktables::WorkFolder workFolderFrom(const Arguments& args) {
    const std::string* dir = args.value(kWorkdir);
    return dir ? worktables::WorkFolder(std::filesystem::path(*dir))
               : worktables::WorkFolder::standard();
}

int runReported(const Arguments& args, Environment& env, const char* reportTitle,
                const RunStarter& run) {
    const bool wantReport = args.has(kReport);
    run::RunReport report;
    return exitStatusOf(
        env,
        [&] {
            run::RunState state = stateFrom(args);
            if (wantReport)
                state.observer = &report;
            const auto ui = env.makeInteraction(answersFrom(args), env.out, env.err);
            return run(state, *ui, workFolderFrom(args));
        },
        [&](int) {
            if (wantReport)
                env.out << run::formatReport(report.events(), reportTitle);
            env.out.flush();
        });
}

} // namespace pelmira::cli
