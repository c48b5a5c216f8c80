#include "platform/path_text.h"

namespace pelmira::platform {

std::string pathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace pelmira::platform
