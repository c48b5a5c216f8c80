// fecha_exportacion off Windows, where no regional formats are asked for: dd/MM/yyyy HH:mm:ss.
// (On Windows the user's regional formats decide; CMake leaves this file out there.)

#include "import/result_document.h"

#include <ctime>
#include <gtest/gtest.h>

namespace pelmira::testing {
namespace {

TEST(ExportTimestamp, DayMonthYearAndTime) {
    struct Case {
        int year, month, day, hour, minute, second;
        const char* expected;
    };
    const Case cases[] = {{2025, 9, 9, 14, 13, 17, "09/09/2025 14:13:17"},
                          {2026, 1, 5, 8, 4, 3, "05/01/2026 08:04:03"},
                          {1999, 12, 31, 23, 59, 59, "31/12/1999 23:59:59"}};
    for (const Case& c : cases) {
        std::tm t{};
        t.tm_year = c.year - 1900;
        t.tm_mon = c.month - 1;
        t.tm_mday = c.day;
        t.tm_hour = c.hour;
        t.tm_min = c.minute;
        t.tm_sec = c.second;
        EXPECT_EQ(importing::formatExportTimestamp(t), c.expected);
    }
}

} // namespace
} // namespace pelmira::testing
