#include "cli/parser.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace pelmira::cli {

namespace {

constexpr std::size_t kWidth = 80;
constexpr std::string_view kProgram = "pelmira-cli";
constexpr std::string_view kHelpOption = "--help";
constexpr std::string_view kShortHelpOption = "-h";
constexpr std::string_view kEndOfOptions = "--";
constexpr std::string_view kExitStatuses =
    "Estado de salida: 0 completado, 1 error, 2 uso incorrecto, 3 falta la entrada.\n";

const Option* findOption(const Command& command, std::string_view name) {
    for (const Option& o : command.options)
        if (o.name == name)
            return &o;
    return nullptr;
}

// "si o no"; "a, b o c".
std::string alternatives(const std::vector<std::string>& values) {
    std::string s;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i != 0)
            s += i + 1 == values.size() ? " o " : ", ";
        s += values[i];
    }
    return s;
}

std::string inQuotes(std::string_view s) {
    return "'" + std::string(s) + "'";
}

// What an option takes, as the synopsis and the help show it: "DIR", "si|no"; empty for none.
std::string valueShown(const Option& o) {
    if (o.allowed.empty())
        return o.valueName;
    std::string s;
    for (const std::string& v : o.allowed)
        s += (s.empty() ? "" : "|") + v;
    return s;
}

std::string optionShown(const Option& o) {
    const std::string value = valueShown(o);
    return value.empty() ? o.name : o.name + " " + value;
}

// The characters of a UTF-8 text, as a terminal counts them.
std::size_t displayWidth(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// `lead`, then `words` one blank apart on lines of at most kWidth characters (a word longer than
// that has a line of its own); the continuation lines start with `indent` blanks.
std::string wrap(const std::string& lead, const std::vector<std::string>& words,
                 std::size_t indent) {
    std::string out = lead;
    std::size_t column = displayWidth(lead);
    bool lineHasWord = !lead.empty();
    for (const std::string& w : words) {
        const std::size_t width = displayWidth(w);
        if (lineHasWord && column + 1 + width > kWidth) {
            out += '\n' + std::string(indent, ' ');
            column = indent;
            lineHasWord = false;
        }
        if (lineHasWord) {
            out += ' ';
            ++column;
        }
        out += w;
        column += width;
        lineHasWord = true;
    }
    return out + '\n';
}

std::vector<std::string> wordsOf(std::string_view text) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ')
            ++i;
        if (i > start)
            words.emplace_back(text.substr(start, i - start));
    }
    return words;
}

// `lead`, "pelmira-cli COMMAND" and the positional arguments, then the options, the continuation
// lines under the first option.
std::string synopsis(const Command& command, std::string_view lead) {
    std::string first = std::string(lead) + std::string(kProgram) + " " + command.name;
    for (const Positional& p : command.positionals)
        first += " " + p.name;
    std::vector<std::string> items;
    for (const Option& o : command.options)
        items.push_back("[" + optionShown(o) + "]");
    return wrap(first, items, first.size() + 1);
}

// Each line of `text` after `indent` blanks.
std::string indented(std::string_view text, std::size_t indent) {
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        out += std::string(indent, ' ');
        out += text.substr(start, end - start);
        out += '\n';
        start = end + 1;
    }
    return out;
}

// One entry of a help list: the name from column 2, its help wrapped from `column`.
std::string entry(const std::string& name, const std::string& help, std::size_t column) {
    std::string lead = "  " + name;
    if (lead.size() + 2 > column) // a name too long for the column: the help starts below it
        return lead + '\n' + wrap(std::string(column - 1, ' '), wordsOf(help), column);
    lead.resize(column - 1, ' ');
    return wrap(lead, wordsOf(help), column);
}

} // namespace

const std::string* Arguments::value(std::string_view option) const {
    const auto it = options_.find(option);
    return it == options_.end() ? nullptr : &it->second;
}

Parsed parseArguments(const Command& command, const Args& args) {
    Parsed parsed;
    const auto refuse = [&parsed](std::string problem) {
        parsed.kind = Parsed::Kind::Refused;
        parsed.problem = std::move(problem);
        return parsed;
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool isOption = !optionsEnded && arg.size() > 1 && arg.front() == '-';
        if (!isOption) {
            if (parsed.arguments.positionals().size() >= command.positionals.size())
                return refuse("sobra el argumento " + inQuotes(arg));
            parsed.arguments.addPositional(arg);
            continue;
        }
        if (arg == kEndOfOptions) {
            optionsEnded = true;
            continue;
        }
        if (arg == kHelpOption || arg == kShortHelpOption) {
            parsed.kind = Parsed::Kind::Help;
            return parsed;
        }
        const Option* option = findOption(command, arg);
        if (!option)
            return refuse("opción desconocida " + inQuotes(arg));
        if (parsed.arguments.has(arg))
            return refuse("la opción " + inQuotes(arg) + " está repetida");
        std::string value;
        if (!option->valueName.empty() || !option->allowed.empty()) {
            if (i + 1 >= args.size())
                return refuse("falta el valor de la opción " + inQuotes(arg));
            value = args[++i];
            if (!option->allowed.empty() &&
                std::find(option->allowed.begin(), option->allowed.end(), value) ==
                    option->allowed.end())
                return refuse("el valor de " + inQuotes(arg) + " debe ser " +
                              alternatives(option->allowed) + ", no " + inQuotes(value));
        }
        parsed.arguments.setOption(arg, std::move(value));
    }
    const std::size_t given = parsed.arguments.positionals().size();
    if (given < command.positionals.size())
        return refuse(command.positionals[given].missing);
    return parsed;
}

std::string usageText(const std::vector<Command>& commands) {
    std::string out = "Uso:\n";
    for (const Command& c : commands) {
        out += synopsis(c, "  ");
        out += indented(c.summary, 6);
    }
    out += '\n';
    out += kExitStatuses;
    return out;
}

std::string commandHelp(const Command& command) {
    const Option help{std::string(kShortHelpOption) + ", " + std::string(kHelpOption),
                      "",
                      {},
                      "Muestra esta ayuda."};
    std::size_t column = 2 + optionShown(help).size() + 2;
    for (const Positional& p : command.positionals)
        column = std::max(column, 2 + p.name.size() + 2);
    for (const Option& o : command.options)
        column = std::max(column, 2 + optionShown(o).size() + 2);
    column = std::min<std::size_t>(column, 30);

    std::string out = synopsis(command, "Uso: ");
    out += '\n';
    out += command.summary;
    if (!command.positionals.empty()) {
        out += "\nArgumentos:\n";
        for (const Positional& p : command.positionals)
            out += entry(p.name, p.help, column);
    }
    out += "\nOpciones:\n";
    for (const Option& o : command.options)
        out += entry(optionShown(o), o.help, column);
    out += entry(optionShown(help), help.help, column);
    out += '\n';
    out += kExitStatuses;
    return out;
}

} // namespace pelmira::cli
