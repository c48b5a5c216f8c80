#pragma once

// Opening a file as a C stream, by a path in any script the system allows.

#include <cstdio>
#include <filesystem>

namespace pelmira::platform {

// std::fopen for a std::filesystem::path (on Windows through the wide-character name, which
// std::fopen cannot take). nullptr with errno set on failure.
std::FILE* openFile(const std::filesystem::path& file, const char* mode);

} // namespace pelmira::platform
