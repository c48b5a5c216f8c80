#include "app/HorvexIni.h"

#include "platform/atomic_file.h"
#include "platform/path_text.h"
#include "text/error.h"

#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

namespace pelmira::app {

namespace {

struct Line {
    std::string text; // without its line end
    std::string end;  // "\r\n", "\n" or "" for a last line without one
};

std::vector<Line> splitLines(std::string_view content) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t nl = content.find('\n', pos);
        if (nl == std::string_view::npos) {
            lines.push_back({std::string(content.substr(pos)), ""});
            break;
        }
        std::size_t textEnd = nl;
        if (textEnd > pos && content[textEnd - 1] == '\r')
            --textEnd;
        lines.push_back({std::string(content.substr(pos, textEnd - pos)),
                         std::string(content.substr(textEnd, nl + 1 - textEnd))});
        pos = nl + 1;
    }
    return lines;
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// The section name of a header line "[name]", or false.
bool sectionName(std::string_view line, std::string_view& name) {
    line = trimBlanks(line);
    if (line.size() < 2 || line.front() != '[')
        return false;
    std::size_t close = line.find(']');
    if (close == std::string_view::npos)
        return false;
    name = trimBlanks(line.substr(1, close - 1));
    return true;
}

bool isKeyLine(std::string_view line, std::string_view key) {
    std::string_view t = trimBlanks(line);
    if (t.empty() || t.front() == ';' || t.front() == '#')
        return false;
    std::size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return false;
    return sameName(trimBlanks(t.substr(0, eq)), key);
}

std::string unableToWriteMessage(const std::filesystem::path& file) {
    return "Unable to write to " + platform::pathText(file);
}

[[noreturn]] void unableToWrite(const std::filesystem::path& file) {
    throw Error(unableToWriteMessage(file));
}

} // namespace

std::string setIniValue(std::string_view content, std::string_view section, std::string_view key,
                        std::string_view value) {
    std::vector<Line> lines = splitLines(content);

    std::string newline = "\r\n";
    bool sawCrLf = false, sawLf = false;
    for (const Line& l : lines) {
        sawCrLf |= l.end == "\r\n";
        sawLf |= l.end == "\n";
    }
    if (sawLf && !sawCrLf)
        newline = "\n";

    const std::string keyLine = std::string(key) + "=" + std::string(value);

    // Find the first section of that name and the extent of its lines.
    std::size_t begin = lines.size(), end = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view name;
        if (!sectionName(lines[i].text, name))
            continue;
        if (begin == lines.size()) {
            if (sameName(name, section))
                begin = i;
        } else {
            end = i;
            break;
        }
    }

    if (begin == lines.size()) {
        if (!lines.empty() && lines.back().end.empty())
            lines.back().end = newline;
        lines.push_back({"[" + std::string(section) + "]", newline});
        lines.push_back({keyLine, newline});
    } else {
        bool replaced = false;
        for (std::size_t i = begin + 1; i < end; ++i) {
            if (isKeyLine(lines[i].text, key)) {
                lines[i].text = keyLine;
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            std::size_t at = end;
            while (at > begin + 1 && trimBlanks(lines[at - 1].text).empty())
                --at;
            if (lines[at - 1].end.empty())
                lines[at - 1].end = newline;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), Line{keyLine, newline});
        }
    }

    std::string out;
    for (const Line& l : lines)
        out += l.text + l.end;
    return out;
}

void writeIniValue(const std::filesystem::path& file, std::string_view section,
                   std::string_view key, std::string_view value) {
    namespace fs = std::filesystem;
    std::error_code ec;

    // Write through a link to the file it names, not over the link.
    fs::path target = file;
    if (fs::is_symlink(file, ec)) {
        fs::path resolved = fs::weakly_canonical(file, ec);
        if (!ec)
            target = resolved;
    }

    std::string content;
    const bool existed = fs::exists(target, ec);
    if (existed) {
        if (fs::is_directory(target, ec))
            unableToWrite(file);
        std::ifstream in(target, std::ios::binary);
        if (!in)
            unableToWrite(file);
        std::ostringstream buffer;
        buffer << in.rdbuf();
        if (in.bad())
            unableToWrite(file);
        content = buffer.str();
    }
    const std::string updated = setIniValue(content, section, key, value);

    // A new copy beside the file, flushed to the disk, then put in its place.
    try {
        platform::ReplaceOptions options;
        options.keepPermissions = true;
        options.describe = [&](const platform::ReplaceFailure&) {
            return unableToWriteMessage(file);
        };
        platform::replaceFile(
            target, [&](platform::Sink& sink) { sink.write(updated.data(), updated.size()); },
            options);
        return;
    } catch (const platform::ReplaceError& e) {
        // The new copy could not be written (a full disk): the original stays as it was.
        // Writing it in place now would first empty it and then fail the same way, losing the
        // lines Horvex keeps there.
        if (e.stage() == platform::ReplaceStage::Write ||
            e.stage() == platform::ReplaceStage::Directory)
            throw;
    }

    // The folder does not take new files: write the file in place when that is allowed.
    if (!existed)
        unableToWrite(file);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out)
        unableToWrite(file);
    out << updated;
    out.flush();
    if (!out)
        unableToWrite(file);
}

} // namespace pelmira::app
