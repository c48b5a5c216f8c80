#pragma once

// The work-table folder. Horvex keeps its tables in C:\HTEMP. On Windows that is the path itself;
// elsewhere it is where Wine keeps drive C: $WINEPREFIX/dosdevices/c:/HTEMP when that link
// exists, else $WINEPREFIX/drive_c/HTEMP, with WINEPREFIX defaulting to $HOME/.wine. This is the
// only place in the program that knows about Wine or drive letters.
//
// Windows file names are case-insensitive, so a file of the folder is found whatever the letter
// case of its name; files the program creates get upper-case names. The folder is never created.

#include <filesystem>
#include <optional>
#include <string_view>

namespace pelmira::worktables {

class WorkFolder {
public:
    explicit WorkFolder(std::filesystem::path dir);

    // C:\HTEMP, mapped as described above.
    static WorkFolder standard();

    const std::filesystem::path& dir() const { return dir_; }

    // The existing file of the folder whose name equals `fileName` ignoring letter case.
    std::optional<std::filesystem::path> find(std::string_view fileName) const;

    // The existing file of that name in any letter case, else dir()/fileName as given.
    std::filesystem::path pathFor(std::string_view fileName) const;

    bool exists(std::string_view fileName) const { return find(fileName).has_value(); }

    // Deletes every file of the folder whose name equals `fileName` ignoring letter case.
    // Returns whether one was removed; a failure to remove is not examined.
    bool remove(std::string_view fileName) const;

private:
    std::filesystem::path dir_;
};

} // namespace pelmira::worktables
