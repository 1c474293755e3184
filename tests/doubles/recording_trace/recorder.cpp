#include "tests/doubles/recording_trace/recorder.h"

#include <windows.h>

namespace rec {

OptionalText Bytes(const char* text) {
    return text ? OptionalText(text) : std::nullopt;
}

Recorder& TheRecorder() {
    static Recorder recorder;
    return recorder;
}

void Recorder::Record(Call call) {
    call.initialised = initialised;
    call.threadId = ::GetCurrentThreadId();
    calls.push_back(std::move(call));
}

void Recorder::MarkInitialised() {
    ++initCount;
    initialised = true;
}

void Recorder::ForgetInit() {
    initCount = 0;
    initialised = false;
}

void Recorder::Reset() {
    calls.clear();
    levels_.clear();
    defaultLevel = REC_INITIAL_DEFAULT_LEVEL;
    shouldTraceAnswer = REC_SHOULD_TRACE_COMPUTED;
}

int32_t Recorder::LevelOf(const char* category) const {
    if (!category) return defaultLevel;
    auto it = levels_.find(category);
    return it == levels_.end() ? defaultLevel : it->second;
}

void Recorder::SetLevel(const char* category, int32_t level) {
    levels_[category] = level;
}

bool Recorder::ShouldTrace(int32_t level) const {
    if (shouldTraceAnswer != REC_SHOULD_TRACE_COMPUTED) return shouldTraceAnswer != 0;
    if (level <= defaultLevel) return true;
    for (const auto& entry : levels_) {
        if (level <= entry.second) return true;
    }
    return false;
}

}  // namespace rec
