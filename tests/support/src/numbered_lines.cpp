#include "test_support/numbered_lines.h"

#include "test_support/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <numeric>

namespace test_support {

std::string NumberedText(const std::string& tag, int number) {
    const int mix = std::accumulate(tag.begin(), tag.end(), number * 37);
    return tag + " " + std::to_string(number) + " " + std::string(100 + mix % 200, static_cast<char>('a' + mix % 26));
}

NumberedLines ReadNumberedLines(const std::string& path, char separator, int prefixFields) {
    NumberedLines lines;
    for (std::string line : SplitLines(ReadFileBytes(path))) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t start = 0;
        for (int field = 0; field < prefixFields && start != std::string::npos; ++field)
            if ((start = line.find(separator, start)) != std::string::npos) ++start;
        const std::string text = start == std::string::npos ? "" : line.substr(start);
        const size_t space = text.find(' ');
        if (space == std::string::npos || space == 0 || !isdigit(static_cast<unsigned char>(text[space + 1]))) {
            ++lines.others;
            continue;
        }
        const std::string tag = text.substr(0, space);
        const int number = std::atoi(text.c_str() + space + 1);
        if (text == NumberedText(tag, number))
            lines.numbers[tag].push_back(number);
        else
            lines.damaged.push_back(line);
    }
    return lines;
}

size_t CheckNumberedLines(const NumberedLines& lines, int tags, int perTag, const std::string& file) {
    for (const std::string& line : lines.damaged) ADD_FAILURE() << file << ": damaged line <" << line.substr(0, 300) << ">";
    EXPECT_TRUE(tags < 0 || lines.numbers.size() == static_cast<size_t>(tags)) << file << ": " << lines.numbers.size() << " writers";
    size_t found = 0;
    for (const auto& [tag, numbers] : lines.numbers) {
        EXPECT_TRUE(std::adjacent_find(numbers.begin(), numbers.end(), std::greater_equal<int>()) == numbers.end())
            << file << ": " << tag << " repeated or reordered";
        EXPECT_TRUE(perTag < 0 || numbers.size() == static_cast<size_t>(perTag)) << file << ": " << tag << " " << numbers.size();
        found += numbers.size();
    }
    return found;
}

}  // namespace test_support
