// Where the trace-system library is looked for, as pure path rules: the search and the
// installation doctor compute the same candidates from them.
#pragma once

#include <string>

// The trace component, whose program directory holds the library.
inline constexpr char kTraceComponent[] = "X0000302";

// The library's full path in a candidate directory (which ends in a backslash), or empty when the
// directory is no full path: an empty or relative one would make LoadLibraryA search for the file.
std::string _TraceSystemPathIn(const std::string& directory);
