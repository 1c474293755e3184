// The trace-system library beside the program and the lines it wrote, for its tests.
#pragma once

#include "test_support/files.h"
#include "test_support/trace_library.h"

#include <gtest/gtest.h>

using Fields = std::vector<std::string>;
using test_support::ReadTraceLines;
using test_support::TraceTexts;

inline const test_support::TraceLibrary& Library() { return *test_support::TraceLibraryBesideProgram(); }
inline const TraceEntryPoints& Hub() { return Library().entry; }

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
