#include "cli/commands.h"

#include <cstring>
#include <iostream>

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
        return 0;
    }
    std::cerr << "pelmira-cli: orden desconocida '" << command << "'\n" << usage();
    return 2;
}
