// Log lines that begin with a local time stamp, "dd.mm.yyyy hh:mm:ss.mmm " (the trace hub's lines:
// "yyyy-mm-dd hh:mm:ss.mmm"): the stamp must name the time of the writing, so a test reads the clock
// before and checks the stamp against it.
#pragma once

#include <windows.h>

#include <string>

namespace test_support {

SYSTEMTIME LocalNow();

// Empty when `stamp` is exactly a time stamp, day first or year first, between `before` and now;
// else what is wrong.
std::string CheckTimeStamp(const std::string& stamp, const SYSTEMTIME& before, bool yearFirst);

// Empty when `line` is `notice`, a day-first stamp between `before` and now, then `text`; else what is wrong.
std::string CheckStampedLine(const std::string& line, const SYSTEMTIME& before, const std::string& notice,
                             const std::string& text);

}  // namespace test_support
