// Log lines that begin with a local time stamp, "dd.mm.yyyy hh:mm:ss.mmm ": the stamp must name
// the time of the writing, so a test reads the clock before and checks the stamp against it.
#pragma once

#include <windows.h>

#include <string>

namespace test_support {

SYSTEMTIME LocalNow();

// Empty when `line` is `notice`, a stamp between `before` and now, then `text`; else what is wrong.
std::string CheckStampedLine(const std::string& line, const SYSTEMTIME& before, const std::string& notice,
                             const std::string& text);

}  // namespace test_support
