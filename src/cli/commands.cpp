#include "cli/commands.h"

#include "cli/parser.h"
#include "platform/path_text.h"

#include <filesystem>
#include <iostream>
#include <system_error>

namespace pelmira::cli {

std::unique_ptr<run::Interaction> Environment::makeInteraction(const CliAnswers& answers,
                                                               std::ostream& toOut,
                                                               std::ostream& toErr) const {
    if (interaction)
        return interaction(answers, toOut, toErr);
    return std::make_unique<CliInteraction>(answers, toOut, toErr);
}

const std::vector<Command>& commands() {
    static const std::vector<Command> all{declareExport(), declareCheck(), declareImport(),
                                          declareDump()};
    return all;
}

const std::string& usage() {
    static const std::string text = usageText(commands());
    return text;
}

namespace {

int generalHelp(Environment& env) {
    env.out << usage();
    std::error_code ec;
    if (std::filesystem::exists(env.windowHelpFile, ec))
        env.out << "\nAyuda de la ventana: " << platform::pathText(env.windowHelpFile) << '\n';
    else
        env.out << "\nNo se encuentra la ayuda de la ventana ("
                << platform::pathText(env.windowHelpFile) << ").\n";
    return kCompleted;
}

const Command* findCommand(const std::string& name) {
    for (const Command& c : commands())
        if (c.name == name)
            return &c;
    return nullptr;
}

} // namespace

int runCli(const Args& args, Environment& env) {
    if (args.empty()) {
        env.err << usage();
        return kBadUsage;
    }
    const std::string& name = args.front();
    if (name == "--help" || name == "-h" || name == "help")
        return generalHelp(env);
    const Command* command = findCommand(name);
    if (!command) {
        env.err << "pelmira-cli: orden desconocida '" << name << "'\n" << usage();
        return kBadUsage;
    }
    const Parsed parsed = parseArguments(*command, Args(args.begin() + 1, args.end()));
    switch (parsed.kind) {
    case Parsed::Kind::Help:
        env.out << commandHelp(*command);
        env.out.flush();
        return kCompleted;
    case Parsed::Kind::Refused:
        env.err << "pelmira-cli " << command->name << ": " << parsed.problem << '\n' << usage();
        return kBadUsage;
    case Parsed::Kind::Accepted:
        break;
    }
    return command->run(parsed.arguments, env);
}

int dumpCommand(const Args& args) {
    Environment env{std::cout, std::cerr};
    Args withName{"dump"};
    withName.insert(withName.end(), args.begin(), args.end());
    return runCli(withName, env);
}

} // namespace pelmira::cli
