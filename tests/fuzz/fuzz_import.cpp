// Any bytes as SOLUC.DBF beside a fixed good centre document and the work tables its export
// wrote: the import either completes or throws pelmira::Error, never crashes.

#include "export/export_run.h"
#include "import/import_run.h"
#include "support/scripted_interaction.h"
#include "text/error.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>

#ifndef PELMIRA_FUZZ_SCHOOL
#error "PELMIRA_FUZZ_SCHOOL must name the centre document the import reads"
#endif

namespace {

// The scratch folder goes when the fuzzer exits.
void removeAtExit(const std::filesystem::path& dir) {
    static std::filesystem::path toRemove;
    toRemove = dir;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(toRemove, ignored);
    });
}

struct Scratch {
    std::filesystem::path dir;
    std::filesystem::path work;
    std::filesystem::path xml;
    Scratch() {
        dir = std::filesystem::temp_directory_path() /
              ("pelmira-fuzz-import-" + std::to_string(::getpid()));
        work = dir / "HTEMP";
        xml = dir / "centro.xml";
        std::filesystem::create_directories(work);
        removeAtExit(dir);
        std::filesystem::copy_file(PELMIRA_FUZZ_SCHOOL, xml,
                                   std::filesystem::copy_options::overwrite_existing);
        pelmira::run::RunState state;
        pelmira::testing::ScriptedInteraction ui;
        ui.file = xml;
        ui.allTemplatesAnswer = false;
        pelmira::exporting::ExportRun run(state, ui, pelmira::worktables::WorkFolder(work));
        if (run.run() != pelmira::run::RunOutcome::Completed) {
            std::cerr << "the export that prepares the work tables did not complete\n";
            std::abort();
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Scratch scratch;
    {
        std::ofstream out(scratch.work / "SOLUC.DBF", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    pelmira::run::RunState state;
    pelmira::testing::ScriptedInteraction ui;
    ui.file = scratch.xml;
    try {
        pelmira::importing::ImportRun run(state, ui, pelmira::worktables::WorkFolder(scratch.work));
        (void)run.run();
    } catch (const pelmira::Error&) {
    }
    return 0;
}
