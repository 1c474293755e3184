// Reads back the calls the trace facade made into the recording trace-system library.
#pragma once

#include "tests/doubles/recording_trace/recording_trace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct WriteRecord {
    int32_t level;
    std::string category;
    std::string text;
};

inline std::vector<WriteRecord> Writes() {
    std::vector<WriteRecord> writes;
    for (size_t i = 0; i < RecCallCount(); ++i) {
        RecCall call{};
        if (!RecGetCall(i, &call) || std::string(call.function) != "Write") continue;
        writes.push_back({call.level, call.category ? call.category : "<null>", call.text ? call.text : "<null>"});
    }
    return writes;
}

inline RecCall LastCallOf(const char* function) {
    RecCall found{};
    for (size_t i = 0; i < RecCallCount(); ++i) {
        RecCall call{};
        if (RecGetCall(i, &call) && std::string(call.function) == function) found = call;
    }
    return found;
}

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override { RecReset(); }
};
