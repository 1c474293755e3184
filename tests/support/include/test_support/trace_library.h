// The trace-system library beside the program, bound by export name as its callers bind it; the
// lines it writes to a file; numbered lines that several writers append to one file at once.
#pragma once

#include "test_support/module.h"

#include <map>
#include <string>
#include <vector>

namespace test_support {

// Loaded and bound once per process; null (with a test failure per missing export) when it cannot be.
const TraceLibrary* TraceLibraryBesideProgram();

// The file's lines split at their first five tabs: time, process, thread, level, category, text.
// A line without its CR LF ends in "<torn>".
std::vector<std::vector<std::string>> ReadTraceLines(const std::string& path);
std::vector<std::string> TraceTexts(const std::string& path);

// "<tag> <number> <padding>": the padding's length and letter follow from tag and number, so a
// torn or merged line shows.
std::string NumberedText(const std::string& tag, int number);

// The numbers per tag in file order of the file's lines, each taken as the text after the
// `prefixFields`-th `separator`. A test failure per damaged line, per tag whose numbers repeat or
// go back, per line of no writer unless `othersAllowed`, and, where `tags` and `perTag` are not
// negative, when there are other than `tags` tags or a tag has other than `perTag` lines.
std::map<std::string, std::vector<int>> CheckNumberedLines(const std::string& path, char separator, int prefixFields,
                                                           int tags, int perTag, bool othersAllowed = false);

}  // namespace test_support
