// pelmira-cli check XML [--template CODE] [--language TEXT] [--group-question si|no]
//                       [--prune-question si|no]
//
// Runs the export into a folder of its own, made for the purpose and removed afterwards, and
// prints what the run drops, cuts and leaves empty. The real work tables are not touched.

#include "cli/cli_interaction.h"
#include "cli/commands.h"
#include "cli/export_options.h"
#include "export/export_run.h"
#include "run/report.h"
#include "run/run_state.h"
#include "text/error.h"
#include "worktables/workfolder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
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
        std::string pattern = (base / "pelmira-check-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw Error("No se puede crear una carpeta temporal en " + base.string() + ": " +
                        std::strerror(errno));
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

constexpr const char* kTitle =
    "Informe de la comprobación (no se han tocado las tablas de trabajo)";

} // namespace

int checkCommand(const Args& args) {
    std::optional<ExportOptions> options = parseExportOptions(args, "check");
    if (!options)
        return 2;

    run::RunReport report;
    // What the run would show (its messages, the questions and the answers taken) is not the
    // point of a check; it is shown only when the run cannot start.
    std::ostringstream shownByRun;
    try {
        const ScratchFolder scratch;
        run::RunState state;
        state.observer = &report;
        CliInteraction ui(options->answers, shownByRun, std::cerr);
        exporting::ExportRun run(state, ui, worktables::WorkFolder(scratch.path()));
        if (run.run() != run::RunOutcome::Completed) {
            std::cerr << shownByRun.str();
            return 3;
        }
        std::cout << run::formatReport(report.events(), kTitle);
        std::cout.flush();
        return 0;
    } catch (const Error& e) {
        std::cerr << e.what() << '\n';
    } catch (const std::exception& e) {
        std::cerr << "Error inesperado: " << e.what() << '\n';
    }
    std::cerr.flush();
    std::cout << run::formatReport(report.events(), kTitle);
    std::cout.flush();
    return 1;
}

} // namespace pelmira::cli
