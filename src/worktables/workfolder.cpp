#include "worktables/workfolder.h"

#include "platform/work_folder.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

namespace pelmira::worktables {

namespace fs = std::filesystem;

namespace {

// File names of the folder are compared as Windows does for the names the program uses: ASCII
// letters without regard to case, every other byte as it is.
bool sameFileName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

// Every entry of the folder whose name matches, the exact spelling first, the others in name
// order so that the choice does not depend on the order the file system lists them in.
std::vector<fs::path> matches(const fs::path& dir, std::string_view fileName) {
    std::vector<fs::path> found;
    if (fileName.empty() || fileName.find('/') != std::string_view::npos)
        return found;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec)
        return found;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            break;
        const std::string name = it->path().filename().string();
        if (sameFileName(name, fileName))
            found.push_back(it->path());
    }
    std::sort(found.begin(), found.end(), [&](const fs::path& x, const fs::path& y) {
        const bool xe = x.filename().string() == fileName;
        const bool ye = y.filename().string() == fileName;
        if (xe != ye)
            return xe;
        return x.filename().string() < y.filename().string();
    });
    return found;
}

} // namespace

WorkFolder::WorkFolder(fs::path dir) : dir_(std::move(dir)) {}

WorkFolder WorkFolder::standard() {
    return WorkFolder(platform::standardWorkFolder());
}

std::optional<fs::path> WorkFolder::find(std::string_view fileName) const {
    std::vector<fs::path> found = matches(dir_, fileName);
    if (found.empty())
        return std::nullopt;
    return found.front();
}

fs::path WorkFolder::pathFor(std::string_view fileName) const {
    if (auto existing = find(fileName))
        return *existing;
    return dir_ / fs::path(std::string(fileName));
}

bool WorkFolder::remove(std::string_view fileName) const {
    bool removed = false;
    for (const fs::path& p : matches(dir_, fileName)) {
        std::error_code ec;
        if (fs::remove(p, ec))
            removed = true;
    }
    return removed;
}

} // namespace pelmira::worktables
