// Any bytes as the centre document, run to its end into a scratch work folder: the run either
// completes or throws pelmira::Error, never crashes.

#include "export/export_run.h"
#include "support/scripted_interaction.h"
#include "text/error.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

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
              ("pelmira-fuzz-export-" + std::to_string(::getpid()));
        work = dir / "HTEMP";
        xml = dir / "centro.xml";
        std::filesystem::create_directories(work);
        removeAtExit(dir);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Scratch scratch;
    {
        std::ofstream out(scratch.xml, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
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
