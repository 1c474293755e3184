#include "test_support/log_time.h"

#include <cstdio>

namespace test_support {

static long long Milliseconds(const SYSTEMTIME& time) {
    FILETIME file = {};
    if (!::SystemTimeToFileTime(&time, &file)) return -1;
    return static_cast<long long>((static_cast<ULONGLONG>(file.dwHighDateTime) << 32 | file.dwLowDateTime) / 10000);
}

SYSTEMTIME LocalNow() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return now;
}

std::string CheckStampedLine(const std::string& line, const SYSTEMTIME& before, const std::string& notice,
                             const std::string& text) {
    if (line.compare(0, notice.size(), notice) != 0) return "notice";
    const std::string rest = line.substr(notice.size());
    unsigned day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0, milli = 0;
    int length = 0;
    if (std::sscanf(rest.c_str(), "%2u.%2u.%4u %2u:%2u:%2u.%3u %n", &day, &month, &year, &hour, &minute, &second, &milli, &length) != 7 ||
        length != 24) {
        return "time stamp shape";
    }
    const SYSTEMTIME stamp = {WORD(year), WORD(month), 0, WORD(day), WORD(hour), WORD(minute), WORD(second), WORD(milli)};
    // The clock and the stamp may round a tick apart.
    const long long at = Milliseconds(stamp);
    if (at < Milliseconds(before) - 20 || at > Milliseconds(LocalNow()) + 20) return "time stamp off the clock";
    return rest.substr(24) == text ? "" : "text";
}

}  // namespace test_support
