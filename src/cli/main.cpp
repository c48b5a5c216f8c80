#include "cli/commands.h"

#include <cstring>
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
    if (argc < 2) {
        std::cerr << usage();
        return 2;
    }
    const std::string command = argv[1];
    const Args args(argv + 2, argv + argc);
    if (command == "dump")
        return dumpCommand(args);
    if (command == "export")
        return exportCommand(args);
    if (command == "import")
        return importCommand(args);
    if (command == "check")
        return checkCommand(args);
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << usage();
        const auto help = helpFile(argv[0]);
        std::error_code ec;
        if (std::filesystem::exists(help, ec))
            std::cout << "\nAyuda de la ventana: " << help.string() << '\n';
        else
            std::cout << "\nNo se encuentra la ayuda de la ventana (" << help.string() << ").\n";
        return 0;
    }
    std::cerr << "pelmira-cli: orden desconocida '" << command << "'\n" << usage();
    return 2;
}
