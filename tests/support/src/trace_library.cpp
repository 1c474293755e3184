#include "test_support/trace_library.h"

#include "test_support/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace test_support {

const TraceLibrary* TraceLibraryBesideProgram() {
    static const TraceLibrary* const bound = [] {
        static TraceLibrary library;
        return BindTraceLibrary(::LoadLibraryA(kTraceSystemFileName), library) ? &library : nullptr;
    }();
    return bound;
}

std::vector<std::vector<std::string>> ReadTraceLines(const std::string& path) {
    std::vector<std::vector<std::string>> lines;
    for (std::string line : SplitLines(ReadFileBytes(path))) {
        line = !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line + "<torn>";
        std::vector<std::string> fields;
        size_t from = 0;
        for (size_t tab; fields.size() < 5 && (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
            fields.push_back(line.substr(from, tab - from));
        fields.push_back(line.substr(from));
        lines.push_back(fields);
    }
    return lines;
}

std::vector<std::string> TraceTexts(const std::string& path) {
    std::vector<std::string> texts;
    for (const auto& line : ReadTraceLines(path)) texts.push_back(line.back());
    return texts;
}

std::string NumberedText(const std::string& tag, int number) {
    const int mix = std::accumulate(tag.begin(), tag.end(), number * 37);
    return tag + " " + std::to_string(number) + " " + std::string(100 + mix % 200, static_cast<char>('a' + mix % 26));
}

std::map<std::string, std::vector<int>> CheckNumberedLines(const std::string& path, char separator, int prefixFields,
                                                           int tags, int perTag, bool othersAllowed) {
    std::map<std::string, std::vector<int>> numbers;
    for (std::string line : SplitLines(ReadFileBytes(path))) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t start = 0;
        for (int field = 0; field < prefixFields && start != std::string::npos; ++field)
            if ((start = line.find(separator, start)) != std::string::npos) ++start;
        const std::string text = start == std::string::npos ? "" : line.substr(start);
        const size_t space = text.find(' ');
        const int number = space == std::string::npos ? -1 : std::atoi(text.c_str() + space + 1);
        if (space == std::string::npos || space == 0 || !isdigit(static_cast<unsigned char>(text[space + 1])))
            EXPECT_TRUE(othersAllowed) << path << ": line of no writer <" << line.substr(0, 300) << ">";
        else if (text == NumberedText(text.substr(0, space), number))
            numbers[text.substr(0, space)].push_back(number);
        else
            ADD_FAILURE() << path << ": damaged line <" << line.substr(0, 300) << ">";
    }
    EXPECT_TRUE(tags < 0 || numbers.size() == static_cast<size_t>(tags)) << path << ": " << numbers.size() << " writers";
    for (const auto& [tag, found] : numbers) {
        EXPECT_TRUE(std::adjacent_find(found.begin(), found.end(), std::greater_equal<int>()) == found.end())
            << path << ": " << tag << " repeated or reordered";
        EXPECT_TRUE(perTag < 0 || found.size() == static_cast<size_t>(perTag)) << path << ": " << tag << " " << found.size();
    }
    return numbers;
}

}  // namespace test_support
