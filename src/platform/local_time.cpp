#include "platform/local_time.h"

#include <cstdio>

namespace pelmira::platform {

std::string numericDateTimeText(const std::tm& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", t.tm_mday, t.tm_mon + 1,
                  t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    return buf;
}

} // namespace pelmira::platform
