// pelmira-cli: the commands of cli/commands.h on the process's arguments and standard streams.

#include "cli/commands.h"

#include <filesystem>
#include <iostream>
#include <system_error>

namespace {

// The window's help file lies beside the programs' real location (symbolic links resolved).
std::filesystem::path helpFile(const char* argv0) {
    std::error_code ec;
    auto exe = std::filesystem::canonical("/proc/self/exe", ec);
    if (ec)
        exe = std::filesystem::weakly_canonical(argv0, ec);
    return exe.parent_path() / "ITACA.chm";
}

} // namespace

int main(int argc, char** argv) {
    using namespace pelmira::cli;
    Environment env{std::cout, std::cerr};
    env.windowHelpFile = helpFile(argv[0]);
    return runCli(Args(argv + 1, argv + argc), env);
}
