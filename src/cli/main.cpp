// pelmira-cli: the commands of cli/commands.h on the process's arguments and standard streams.

#include "cli/commands.h"
#include "platform/process.h"

#include <iostream>

int main(int argc, char** argv) {
    using namespace pelmira;
    platform::prepareConsole();
    cli::Environment env{std::cout, std::cerr};
    // The window's help file lies beside the programs' real location (symbolic links resolved).
    env.windowHelpFile = platform::executablePath(argv[0]).parent_path() / "ITACA.chm";
    const std::vector<std::string> args = platform::commandLineArguments(argc, argv);
    return cli::runCli(cli::Args(args.begin(), args.end()), env);
}
