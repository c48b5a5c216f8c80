#pragma once

// The subcommands of pelmira-cli. Each takes the arguments after its name and returns the exit
// status: 0 completed, 1 ended on an error, 2 bad usage, 3 input missing.

#include <string>
#include <vector>

namespace pelmira::cli {

using Args = std::vector<std::string>;

int dumpCommand(const Args& args);
int exportCommand(const Args& args);
int importCommand(const Args& args);
int checkCommand(const Args& args);

// The usage text, in Spanish.
const char* usage();

} // namespace pelmira::cli
