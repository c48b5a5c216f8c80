// Any bytes as a table file: opening, walking every record and reading every field must either
// work or throw pelmira::Error, never crash.

#include "support/scratch_folder.h"
#include "text/error.h"
#include "worktables/table.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

// The table file every input is written to; its folder goes when the fuzzer exits.
std::filesystem::path scratchFile() {
    static const auto path = pelmira::testing::ScratchFolder::forProcess("fuzz-dbf") / "SOLUC.DBF";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto file = scratchFile();
    pelmira::testing::writeFile(file, std::string_view(reinterpret_cast<const char*>(data), size));
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
