#pragma once

// The file system as the centre document's loading and saving meet it: a path as text for
// messages, opening a file by any path, and the Spanish reason of a failed file operation.

#include <cstdio>
#include <filesystem>
#include <string>

namespace pelmira::itaca {

// The path as UTF-8 text.
std::string displayName(const std::filesystem::path& file);

// std::fopen for a path in any script; nullptr with errno set on failure.
std::FILE* openFile(const std::filesystem::path& file, const char* mode);

// The reason of a failed file operation (an errno value), in Spanish for the common cases.
std::string reason(int err);

} // namespace pelmira::itaca
