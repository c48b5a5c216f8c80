#include "platform/work_folder.h"

namespace pelmira::platform {

std::filesystem::path standardWorkFolder() {
    return std::filesystem::path(L"C:\\HTEMP");
}

} // namespace pelmira::platform
