#include "test_support/log_time.h"

#include <cstdio>

namespace test_support {

namespace {

long long Milliseconds(const SYSTEMTIME& time) {
    FILETIME file = {};
    if (!::SystemTimeToFileTime(&time, &file)) return -1;
    return static_cast<long long>((static_cast<ULONGLONG>(file.dwHighDateTime) << 32 | file.dwLowDateTime) / 10000);
}

}  // namespace

SYSTEMTIME LocalNow() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return now;
}

std::string CheckStampedLine(const std::string& line, const SYSTEMTIME& before, const std::string& notice,
                             const std::string& text) {
    if (line.compare(0, notice.size(), notice) != 0) return "notice";
    const std::string rest = line.substr(notice.size());
    int f[7] = {};
    int length = 0;
    if (std::sscanf(rest.c_str(), "%2d.%2d.%4d %2d:%2d:%2d.%3d %n", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6],
                    &length) != 7 ||
        length != 24) {
        return "time stamp shape";
    }
    SYSTEMTIME stamp = {};
    stamp.wDay = static_cast<WORD>(f[0]);
    stamp.wMonth = static_cast<WORD>(f[1]);
    stamp.wYear = static_cast<WORD>(f[2]);
    stamp.wHour = static_cast<WORD>(f[3]);
    stamp.wMinute = static_cast<WORD>(f[4]);
    stamp.wSecond = static_cast<WORD>(f[5]);
    stamp.wMilliseconds = static_cast<WORD>(f[6]);
    // The clock and the stamp may round a tick apart.
    const long long at = Milliseconds(stamp);
    if (at < Milliseconds(before) - 20 || at > Milliseconds(LocalNow()) + 20) return "time stamp off the clock";
    return rest.substr(24) == text ? "" : "text";
}

}  // namespace test_support
