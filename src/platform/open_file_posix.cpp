#include "platform/open_file.h"

namespace pelmira::platform {

std::FILE* openFile(const std::filesystem::path& file, const char* mode) {
    return std::fopen(file.c_str(), mode);
}

} // namespace pelmira::platform
