#include "platform/open_file.h"

#include <cstring>
#include <string>

namespace pelmira::platform {

std::FILE* openFile(const std::filesystem::path& file, const char* mode) {
    const std::wstring wideMode(mode, mode + std::strlen(mode));
    return ::_wfopen(file.c_str(), wideMode.c_str());
}

} // namespace pelmira::platform
