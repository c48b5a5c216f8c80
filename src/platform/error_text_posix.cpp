#include "platform/error_text.h"

namespace pelmira::platform {

std::string systemErrorText(long code) {
    return errnoText(static_cast<int>(code));
}

} // namespace pelmira::platform
