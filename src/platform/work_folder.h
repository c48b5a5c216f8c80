#pragma once

// Where Horvex keeps its work tables on this system.

#include <filesystem>

namespace pelmira::platform {

// Horvex's folder C:\HTEMP. On Windows that is the path itself; elsewhere it is where Wine keeps
// drive C: $WINEPREFIX/dosdevices/c:/HTEMP when that link exists, else $WINEPREFIX/drive_c/HTEMP,
// with WINEPREFIX defaulting to $HOME/.wine. The folder may not exist.
std::filesystem::path standardWorkFolder();

} // namespace pelmira::platform
