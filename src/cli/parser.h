#pragma once

// The one reader of pelmira-cli's arguments, and the texts it builds from the commands'
// declarations: the general usage text and each command's help.

#include "cli/command.h"

#include <string>
#include <vector>

namespace pelmira::cli {

// The result of reading a command's arguments.
struct Parsed {
    enum class Kind {
        Accepted, // `arguments` holds what was given
        Help,     // --help or -h: the command's help is wanted
        Refused,  // `problem` says why, in Spanish
    };
    Kind kind = Kind::Accepted;
    Arguments arguments;
    std::string problem;
};

// Reads `args` (the arguments after the command's name) by `command`'s declaration. An argument
// that starts with '-' (other than "-" itself) is an option, up to a "--" after which every
// argument is positional. An option's value is the argument after it, whatever it looks like.
// Refused: an unknown option, an option given twice, an option without its value, a value not
// among those allowed, a positional argument too many or one missing.
Parsed parseArguments(const Command& command, const Args& args);

// "Uso:", then for each command its synopsis (wrapped to 80 columns, the continuation lines under
// the first option) and its summary, then the exit statuses.
std::string usageText(const std::vector<Command>& commands);

// pelmira-cli COMMAND --help: the synopsis, the summary, every argument and option with its help,
// and the exit statuses.
std::string commandHelp(const Command& command);

} // namespace pelmira::cli
