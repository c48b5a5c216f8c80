#pragma once

// A command of pelmira-cli as a declaration: its name, its summary, its positional arguments and
// options, and what it does with them. One parser (parser.cpp) reads every command's arguments
// and writes the usage text and each command's help from these declarations.

#include "cli/cli_interaction.h"
#include "run/interaction.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelmira::cli {

using Args = std::vector<std::string>;

// The exit statuses of pelmira-cli.
inline constexpr int kCompleted = 0;
inline constexpr int kFailed = 1;   // an error ended the command
inline constexpr int kBadUsage = 2; // the arguments were refused
inline constexpr int kInputMissing = 3;

struct Option {
    std::string name;                 // "--workdir"
    std::string valueName;            // "DIR"; empty for an option that takes no value
    std::vector<std::string> allowed; // the only values taken ("si", "no"); empty: any value
    std::string help;                 // one paragraph, wrapped when shown
};

struct Positional {
    std::string name;    // "XML"
    std::string missing; // the complaint when it is not given: "falta el archivo XML"
    std::string help;
};

// A command's arguments as read: the options given, with their values, and the positional
// arguments in order.
class Arguments {
public:
    bool has(std::string_view option) const { return options_.find(option) != options_.end(); }
    // The value of an option that was given; nullptr when it was not.
    const std::string* value(std::string_view option) const;
    const std::vector<std::string>& positionals() const { return positionals_; }

    void setOption(const std::string& name, std::string value) {
        options_[name] = std::move(value);
    }
    void addPositional(std::string value) { positionals_.push_back(std::move(value)); }

private:
    std::map<std::string, std::string, std::less<>> options_;
    std::vector<std::string> positionals_;
};

// Builds the interaction a run talks through, over the answers the options give and the streams
// its messages go to.
using InteractionFactory = std::function<std::unique_ptr<run::Interaction>(
    const CliAnswers& answers, std::ostream& out, std::ostream& err)>;

// What a command runs with.
struct Environment {
    std::ostream& out;
    std::ostream& err;
    // The runs' interaction; when empty, a CliInteraction.
    InteractionFactory interaction = {};
    // The window program's help file, named by the general help.
    std::filesystem::path windowHelpFile = {};

    std::unique_ptr<run::Interaction> makeInteraction(const CliAnswers& answers, std::ostream& out,
                                                      std::ostream& err) const;
};

struct Command {
    std::string name;
    // Shown under the command's synopsis in the usage text, and in its help: lines as shown,
    // each ended by '\n', without their indent.
    std::string summary;
    std::vector<Positional> positionals;
    std::vector<Option> options;
    // Runs the command on arguments the parser has accepted; returns the exit status.
    std::function<int(const Arguments&, Environment&)> run;
};

} // namespace pelmira::cli
