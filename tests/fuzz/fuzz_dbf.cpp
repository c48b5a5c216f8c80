// Any bytes as a table file: opening, walking every record and reading every field must either
// work or throw pelmira::Error, never crash.

#include "text/error.h"
#include "worktables/table.h"

#include <cstdint>
#include <cstdio>
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

std::filesystem::path scratchFile() {
    static const auto path = [] {
        auto dir = std::filesystem::temp_directory_path() /
                   ("pelmira-fuzz-dbf-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        removeAtExit(dir);
        return dir / "SOLUC.DBF";
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto file = scratchFile();
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        auto table = pelmira::worktables::Table::openFile(file);
        for (bool more = table.first(); more; more = table.next()) {
            for (const auto& field : table.fields()) {
                (void)table.text(field.name);
                (void)table.number(field.name);
                (void)table.integer(field.name);
            }
        }
        if (!table.fields().empty()) {
            const auto& name = table.fields().front().name;
            (void)table.locate({{name, ""}});
        }
    } catch (const pelmira::Error&) {
    }
    return 0;
}
