// The recording library's process-wide state: recorded calls, category levels and the
// InitTraceSystem state, behind one lock because its exports are called from any thread.
#pragma once

#include "tests/doubles/recording_trace/recording_trace.h"

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace rec {

using OptionalText = std::optional<std::string>;

OptionalText Bytes(const char* text);

struct Call {
    std::string function;
    bool initialised = false;
    uint32_t threadId = 0;
    std::optional<int32_t> level;
    OptionalText category;
    OptionalText text;
    OptionalText title;
    OptionalText name;
    std::optional<std::vector<unsigned char>> data;
    uint32_t size = 0;
    OptionalText sourceFile;
    int32_t sourceLine = 0;
    OptionalText functionName;
    OptionalText listenerName;
    OptionalText argument;
    int32_t number = 0;
};

class Recorder {
public:
    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(mutex_); }

    // Stamps the call with the InitTraceSystem state and the thread, then keeps it.
    void Record(Call call);
    void MarkInitialised();
    void ForgetInit();
    void Reset();

    int32_t LevelOf(const char* category) const;
    void SetLevel(const char* category, int32_t level);
    bool ShouldTrace(int32_t level) const;

    int32_t defaultLevel = REC_INITIAL_DEFAULT_LEVEL;
    int32_t shouldTraceAnswer = REC_SHOULD_TRACE_COMPUTED;
    uint32_t initCount = 0;
    bool initialised = false;
    std::deque<Call> calls;

private:
    std::mutex mutex_;
    std::map<std::string, int32_t> levels_;
};

Recorder& TheRecorder();

}  // namespace rec
