// The trace-system library bound by export name as its callers bind it, and the lines it wrote.
#pragma once

#include "test_support/files.h"
#include "test_support/module.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline const test_support::TraceLibrary& Library() {
    static const test_support::TraceLibrary library = [] {
        test_support::TraceLibrary bound;
        EXPECT_TRUE(test_support::BindTraceLibrary(::LoadLibraryA(kTraceSystemFileName), bound));
        return bound;
    }();
    return library;
}

inline const TraceEntryPoints& Hub() { return Library().entry; }

using Fields = std::vector<std::string>;

// The file's lines split at their first five tabs; a line without its CR LF ends in "<torn>".
inline std::vector<Fields> ReadLines(const std::string& path) {
    std::vector<Fields> lines;
    for (std::string line : test_support::SplitLines(test_support::ReadFileBytes(path))) {
        line = !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line + "<torn>";
        Fields fields;
        size_t from = 0;
        for (size_t tab; fields.size() < 5 && (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
            fields.push_back(line.substr(from, tab - from));
        fields.push_back(line.substr(from));
        lines.push_back(fields);
    }
    return lines;
}

// The text field of every line.
inline std::vector<std::string> Texts(const std::string& path) {
    std::vector<std::string> texts;
    for (const Fields& line : ReadLines(path)) texts.push_back(line.back());
    return texts;
}

// Initialised, every setting at its default, before and after each test.
class HubTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        Library().InitTraceSystem();
        ASSERT_TRUE(Hub().ConfigureTrace(""));
    }
};
