// pelmira-cli check: the export run into a folder of its own, made for the purpose and removed
// afterwards, and the report of what the run drops, cuts and leaves empty. The real work tables
// are not touched.

#include "cli/commands.h"
#include "cli/run_command.h"
#include "cli/run_options.h"
#include "export/export_run.h"
#include "platform/error_text.h"
#include "platform/path_text.h"
#include "run/report.h"
#include "text/error.h"

#include <filesystem>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <system_error>

namespace pelmira::cli {

namespace {

// A new, empty folder under the system's temporary folder, removed with its contents.
class ScratchFolder {
public:
    ScratchFolder() {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec)
            base = "/tmp";
        // A name nobody has taken: creating the folder is what tells.
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::filesystem::path candidate = base / ("pelmira-check-" + suffix(random()));
            if (std::filesystem::create_directory(candidate, ec)) {
                path_ = std::move(candidate);
                return;
            }
            if (ec)
                break;
        }
        throw Error("No se puede crear una carpeta temporal en " + platform::pathText(base) + ": " +
                    (ec ? platform::systemErrorText(ec.value())
                        : std::string("todos los nombres probados existen")));
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    // Six letters and digits, as mkdtemp() gives.
    static std::string suffix(unsigned value) {
        static constexpr char kAlphabet[] =
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        std::string s;
        for (int i = 0; i < 6; ++i) {
            s += kAlphabet[value % (sizeof kAlphabet - 1)];
            value /= sizeof kAlphabet - 1;
        }
        return s;
    }

    std::filesystem::path path_;
};

constexpr const char* kTitle =
    "Informe de la comprobación (no se han tocado las tablas de trabajo)";

int runCheck(const Arguments& args, Environment& env) {
    run::RunReport report;
    // What the run would show (its messages, the questions and the answers taken) is not the
    // point of a check; it is shown only when the run cannot start.
    std::ostringstream shownByRun;
    return exitStatusOf(
        env,
        [&] {
            const ScratchFolder scratch;
            run::RunState state = stateFrom(args);
            state.observer = &report;
            const auto ui = env.makeInteraction(answersFrom(args), shownByRun, env.err);
            exporting::ExportRun run(state, *ui, worktables::WorkFolder(scratch.path()));
            return run.run();
        },
        [&](int status) {
            if (status == kInputMissing)
                env.err << shownByRun.str();
            else
                env.out << run::formatReport(report.events(), kTitle);
            env.out.flush();
        });
}

} // namespace

Command declareCheck() {
    return {
        "check",
        "Hace la exportación en una carpeta temporal, sin tocar las tablas de trabajo,\n"
        "y muestra el informe de lo que se descartaría, recortaría o dejaría vacío.\n",
        {xmlArgument("El archivo XML de ITACA (el documento del centro).")},
        exportRunOptions(),
        runCheck,
    };
}

} // namespace pelmira::cli
