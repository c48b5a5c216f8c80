#pragma once

// The handshake file Horvex.ini: Pelmira writes one integer under a section and key and leaves
// every other line of the file as it was. The file is never read for any other purpose.

#include <filesystem>
#include <string>
#include <string_view>

namespace pelmira::app {

// The text of an INI file after setting `key` in `section` to `value`. Section and key names
// compare without regard to letter case, as Windows does. The first matching key line of the
// first matching section is replaced; a missing key is added at the end of its section (before
// any trailing blank lines), a missing section at the end of the file. Line ends (CR LF or LF)
// are kept as found; new lines use CR LF unless the file uses LF only.
std::string setIniValue(std::string_view content, std::string_view section, std::string_view key,
                        std::string_view value);

// Writes the value into the file, creating it when absent, through a temporary file in the same
// folder, flushed to the disk, that then replaces the original, so that Horvex never sees a
// half-written file. A folder that takes no new files gets the file written in place.
// Throws pelmira::Error "Unable to write to <path>" when the file cannot be read or written.
void writeIniValue(const std::filesystem::path& file, std::string_view section,
                   std::string_view key, std::string_view value);

} // namespace pelmira::app
