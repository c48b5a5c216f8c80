#include "platform/work_folder.h"

#include <cstdlib>
#include <system_error>

namespace pelmira::platform {

namespace fs = std::filesystem;

fs::path standardWorkFolder() {
    fs::path prefix;
    if (const char* wine = std::getenv("WINEPREFIX"); wine != nullptr && *wine != '\0') {
        prefix = wine;
    } else {
        const char* home = std::getenv("HOME");
        prefix = fs::path(home != nullptr && *home != '\0' ? home : "/") / ".wine";
    }
    // dosdevices/c: is the link Wine resolves drive C: through; a prefix without it keeps the
    // drive in drive_c.
    const fs::path driveLink = prefix / "dosdevices" / "c:";
    std::error_code ec;
    if (fs::exists(fs::symlink_status(driveLink, ec)))
        return driveLink / "HTEMP";
    return prefix / "drive_c" / "HTEMP";
}

} // namespace pelmira::platform
