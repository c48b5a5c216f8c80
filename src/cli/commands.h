#pragma once

// pelmira-cli: its commands, and the program run on its arguments with the streams and the
// interaction it is given.

#include "cli/command.h"

#include <string>
#include <vector>

namespace pelmira::cli {

// The declarations of the commands (cmd_*.cpp).
Command declareExport();
Command declareCheck();
Command declareImport();
Command declareDump();

// Every command, in the order the usage text lists them.
const std::vector<Command>& commands();

// The usage text, in Spanish.
const std::string& usage();

// pelmira-cli with `args`, the arguments after the program's name: no command, or one that does
// not exist, is bad usage; "--help", "-h" or "help" print the usage text and where the window's
// help is; COMMAND --help or -h the command's help. A command's arguments that the parser refuses
// give the problem and the usage text on the error stream. Returns the exit status.
int runCli(const Args& args, Environment& env);

// `pelmira-cli dump ARGS` on the process's standard output and error.
int dumpCommand(const Args& args);

} // namespace pelmira::cli
