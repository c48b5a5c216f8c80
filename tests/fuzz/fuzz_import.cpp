// Any bytes as SOLUC.DBF beside a fixed good centre document and the work tables its export
// wrote: the import either completes or throws pelmira::Error, never crashes.

#include "export/export_run.h"
#include "import/import_run.h"
#include "support/scratch_folder.h"
#include "support/scripted_interaction.h"
#include "text/error.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

#ifndef PELMIRA_FUZZ_SCHOOL
#error "PELMIRA_FUZZ_SCHOOL must name the centre document the import reads"
#endif

namespace {

// The work folder and the centre document of every input; they go when the fuzzer exits.
struct Scratch {
    std::filesystem::path work;
    std::filesystem::path xml;
    Scratch() {
        const auto& dir = pelmira::testing::ScratchFolder::forProcess("fuzz-import");
        work = dir / "HTEMP";
        xml = dir / "centro.xml";
        std::filesystem::create_directories(work);
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
    pelmira::testing::writeFile(scratch.work / "SOLUC.DBF",
                                std::string_view(reinterpret_cast<const char*>(data), size));
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
