// The trace-system library beside the program, bound by export name as its callers bind it, and
// the lines it writes to a file.
#pragma once

#include "test_support/module.h"

#include <string>
#include <vector>

namespace test_support {

// Loaded and bound once per process; null (with a test failure per missing export) when it cannot be.
const TraceLibrary* TraceLibraryBesideProgram();

// The file's lines split at their first five tabs: time, process, thread, level, category, text.
// A line without its CR LF ends in "<torn>".
std::vector<std::vector<std::string>> ReadTraceLines(const std::string& path);

// The text field of every line.
std::vector<std::string> TraceTexts(const std::string& path);

}  // namespace test_support
