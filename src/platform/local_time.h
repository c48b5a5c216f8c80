#pragma once

// The local time of the machine, and the date and time texts that Horvex's side shows the user.

#include <ctime>
#include <string>

namespace pelmira::platform {

// `time` as local time, by the time zone of the machine.
std::tm localTime(std::time_t time);

// The date in the short date format, one blank, the time in the long time format. On Windows
// those are the formats of the user's regional settings; elsewhere dd/MM/yyyy HH:mm:ss.
std::string localDateTimeText(const std::tm& localTime);

// dd/MM/yyyy HH:mm:ss, the same on every system.
std::string numericDateTimeText(const std::tm& localTime);

} // namespace pelmira::platform
