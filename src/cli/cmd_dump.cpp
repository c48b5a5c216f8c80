// pelmira-cli dump: the fields and every record of a dBase table, deleted records included and
// marked. Text is shown in UTF-8.

#include "cli/commands.h"
#include "platform/path_text.h"
#include "text/error.h"
#include "text/text.h"
#include "worktables/table.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace pelmira::cli {

namespace {

std::string csvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos &&
        (s.empty() || (s.front() != ' ' && s.back() != ' ')))
        return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

// Control characters would garble a terminal; they are shown as \xNN.
std::string printable(const std::string& utf8) {
    std::string out;
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            static const char* digits = "0123456789ABCDEF";
            out += "\\x";
            out += digits[u >> 4];
            out += digits[u & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

void dumpPlain(worktables::Table& table, std::ostream& out) {
    const auto& fields = table.fields();
    std::size_t nameWidth = 6;
    for (const auto& f : fields)
        nameWidth = std::max(nameWidth, text::toUtf8(f.name).size());
    out << "Tabla: " << platform::pathText(table.path()) << "\n";
    out << "Campos (" << fields.size() << "):\n";
    for (const auto& f : fields) {
        const std::string name = text::toUtf8(f.name);
        out << "  " << name << std::string(nameWidth - name.size() + 2, ' ') << f.type << "  "
            << f.length;
        if (f.decimals != 0)
            out << "," << f.decimals;
        out << "\n";
    }
    std::uint32_t deleted = 0;
    std::vector<std::string> lines;
    for (std::uint32_t recNo = 1; recNo <= table.recordCount(); ++recNo) {
        table.go(recNo);
        const bool isDeleted = table.isDeleted();
        if (isDeleted)
            ++deleted;
        std::string line = "  " + std::to_string(recNo) + (isDeleted ? " * " : "   ");
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i != 0)
                line += " | ";
            line += printable(text::toUtf8(table.text(fields[i].name)));
        }
        lines.push_back(std::move(line));
    }
    out << "Registros (" << table.recordCount() << ", " << deleted
        << (deleted == 1 ? " borrado" : " borrados") << "):\n";
    for (const auto& line : lines)
        out << line << "\n";
}

void dumpCsv(worktables::Table& table, std::ostream& out) {
    const auto& fields = table.fields();
    out << "REGISTRO,BORRADO";
    for (const auto& f : fields)
        out << "," << csvField(text::toUtf8(f.name));
    out << "\r\n";
    for (std::uint32_t recNo = 1; recNo <= table.recordCount(); ++recNo) {
        table.go(recNo);
        out << recNo << "," << (table.isDeleted() ? "*" : "");
        for (const auto& f : fields)
            out << "," << csvField(text::toUtf8(table.text(f.name)));
        out << "\r\n";
    }
}

int runDump(const Arguments& args, Environment& env) {
    const std::filesystem::path file(args.positionals().front());
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        env.err << "No existe la tabla " << platform::pathText(file) << "\n";
        return kInputMissing;
    }
    try {
        auto table = worktables::Table::openFile(file);
        // Build the whole listing first, so that a table that fails half-way prints nothing that
        // could pass for a complete dump.
        std::ostringstream listing;
        if (args.has("--csv"))
            dumpCsv(table, listing);
        else
            dumpPlain(table, listing);
        table.close();
        env.out << listing.str();
        env.out.flush();
        return env.out ? kCompleted : kFailed;
    } catch (const Error& e) {
        env.err << e.what() << "\n";
        return kFailed;
    } catch (const std::exception& e) {
        env.err << "Error: " << e.what() << "\n";
        return kFailed;
    }
}

} // namespace

Command declareDump() {
    return {
        "dump",
        "Muestra los campos y los registros de una tabla dBase.\n",
        {{"TABLA.DBF", "indique una tabla .DBF", "La tabla dBase que se muestra."}},
        {{"--csv",
          "",
          {},
          "En CSV (separado por comas, líneas acabadas en CR LF), con el "
          "número de registro y la marca de borrado delante de los campos."}},
        runDump,
    };
}

} // namespace pelmira::cli
