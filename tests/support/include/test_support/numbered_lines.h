// Numbered lines that several writers append to one file at once, and the check that none was
// lost, torn, merged, repeated or reordered.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace test_support {

// "<tag> <number> <padding>": the padding's length and letter follow from tag and number, so a
// torn or merged line shows.
std::string NumberedText(const std::string& tag, int number);

struct NumberedLines {
    std::map<std::string, std::vector<int>> numbers;  // per tag, in file order
    std::vector<std::string> damaged;                 // "<tag> <number>" followed by anything else
    size_t others = 0;                                // lines of no writer (the file's own notes)
};

// The file's lines, each taken as the text after the `prefixFields`-th `separator` of its prefix.
NumberedLines ReadNumberedLines(const std::string& path, char separator, int prefixFields);

// A test failure per damaged line, per tag whose numbers repeat or go back, and, where `tags` and
// `perTag` are not negative, when there are other than `tags` tags or a tag has other than `perTag`
// lines. Returns the numbered lines.
size_t CheckNumberedLines(const NumberedLines& lines, int tags, int perTag, const std::string& file);

}  // namespace test_support
