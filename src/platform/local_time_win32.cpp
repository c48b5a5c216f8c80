#include "platform/local_time.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace pelmira::platform {

std::tm localTime(std::time_t time) {
    std::tm local{};
    localtime_s(&local, &time);
    return local;
}

std::string localDateTimeText(const std::tm& t) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(t.tm_year + 1900);
    st.wMonth = static_cast<WORD>(t.tm_mon + 1);
    st.wDay = static_cast<WORD>(t.tm_mday);
    st.wDayOfWeek = static_cast<WORD>(t.tm_wday);
    st.wHour = static_cast<WORD>(t.tm_hour);
    st.wMinute = static_cast<WORD>(t.tm_min);
    st.wSecond = static_cast<WORD>(t.tm_sec);
    char date[128] = {};
    char time[128] = {};
    if (::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, sizeof date) &&
        ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, sizeof time))
        return std::string(date) + ' ' + time;
    // Without the regional formats, the same text as on the other systems.
    return numericDateTimeText(t);
}

} // namespace pelmira::platform
