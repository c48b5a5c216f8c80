#include "platform/local_time.h"

namespace pelmira::platform {

std::tm localTime(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    return local;
}

std::string localDateTimeText(const std::tm& t) {
    return numericDateTimeText(t);
}

} // namespace pelmira::platform
