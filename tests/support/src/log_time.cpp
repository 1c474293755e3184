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

std::string CheckTimeStamp(const std::string& stamp, const SYSTEMTIME& before, bool yearFirst) {
    unsigned date[3] = {}, hour = 0, minute = 0, second = 0, milli = 0;
    int length = 0;
    if (std::sscanf(stamp.c_str(), yearFirst ? "%4u-%2u-%2u %2u:%2u:%2u.%3u%n" : "%2u.%2u.%4u %2u:%2u:%2u.%3u%n", &date[0], &date[1],
                    &date[2], &hour, &minute, &second, &milli, &length) != 7 ||
        length != 23 || stamp.size() != 23) {
        return "time stamp shape";
    }
    const unsigned year = date[yearFirst ? 0 : 2], day = date[yearFirst ? 2 : 0];
    const SYSTEMTIME time = {WORD(year), WORD(date[1]), 0, WORD(day), WORD(hour), WORD(minute), WORD(second), WORD(milli)};
    // The clock and the stamp may round a tick apart.
    const long long at = Milliseconds(time);
    return at < Milliseconds(before) - 20 || at > Milliseconds(LocalNow()) + 20 ? "time stamp off the clock" : "";
}

std::string CheckStampedLine(const std::string& line, const SYSTEMTIME& before, const std::string& notice,
                             const std::string& text) {
    if (line.compare(0, notice.size(), notice) != 0) return "notice";
    const std::string rest = line.substr(notice.size());
    if (rest.size() < 24 || rest[23] != ' ') return "time stamp shape";
    const std::string stamp = CheckTimeStamp(rest.substr(0, 23), before, false);
    return !stamp.empty() ? stamp : rest.substr(24) == text ? "" : "text";
}

}  // namespace test_support
