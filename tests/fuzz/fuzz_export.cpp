// Any bytes as the centre document, run to its end into a scratch work folder: the run either
// completes or throws pelmira::Error, never crashes.

#include "export/export_run.h"
#include "support/scratch_folder.h"
#include "support/scripted_interaction.h"
#include "text/error.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

// The work folder and the centre document of every input; they go when the fuzzer exits.
struct Scratch {
    std::filesystem::path work;
    std::filesystem::path xml;
    Scratch() {
        const auto& dir = pelmira::testing::ScratchFolder::forProcess("fuzz-export");
        work = dir / "HTEMP";
        xml = dir / "centro.xml";
        std::filesystem::create_directories(work);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Scratch scratch;
    pelmira::testing::writeFile(scratch.xml,
                                std::string_view(reinterpret_cast<const char*>(data), size));
    pelmira::run::RunState state;
    pelmira::testing::ScriptedInteraction ui;
    ui.file = scratch.xml;
    ui.allTemplatesAnswer = size % 2 == 0; // both paths of the group-timetable step
    try {
        pelmira::exporting::ExportRun run(state, ui, pelmira::worktables::WorkFolder(scratch.work));
        (void)run.run();
    } catch (const pelmira::Error&) {
    }
    return 0;
}
