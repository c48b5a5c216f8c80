#pragma once

// A path as text for messages: UTF-8 on every system, whatever the system's own encoding of file
// names is.

#include <filesystem>
#include <string>

namespace pelmira::platform {

std::string pathText(const std::filesystem::path& path);

} // namespace pelmira::platform
