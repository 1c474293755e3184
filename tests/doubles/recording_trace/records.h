// Reads back what the recording trace library saw, through the test's import library or, for a
// library the module loaded on its own, through that library's exports.
#pragma once

#include "tests/doubles/recording_trace/recording_trace.h"

#include <string>
#include <vector>

namespace records {

struct Line {
    int32_t level;
    std::string category;
    std::string text;
};

using CountFn = size_t (*)();
using GetFn = bool (*)(size_t, RecCall*);

// The calls of one export, in order.
inline std::vector<RecCall> CallsOf(const char* function, CountFn count = RecCallCount, GetFn get = RecGetCall) {
    std::vector<RecCall> calls;
    for (size_t i = 0; i < count(); ++i) {
        RecCall call{};
        if (get(i, &call) && std::string(call.function) == function) calls.push_back(call);
    }
    return calls;
}

inline std::vector<Line> Writes(CountFn count = RecCallCount, GetFn get = RecGetCall) {
    std::vector<Line> lines;
    for (const RecCall& call : CallsOf("Write", count, get)) {
        lines.push_back({call.level, call.category ? call.category : "<null>", call.text ? call.text : "<null>"});
    }
    return lines;
}

}  // namespace records
