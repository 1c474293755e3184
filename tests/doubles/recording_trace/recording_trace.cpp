// The exports of the trace-system library, each recording its call, and the Rec* control
// interface, over one process-wide state behind one lock.
#define KVTRACEHUB_DECLARE_EXPORTS
#include "contracts/KvTraceHub001.h"
#include "tests/doubles/recording_trace/recording_trace.h"

#include <windows.h>

#include <deque>
#include <map>
#include <mutex>
#include <string>

#define REC_EXPORT extern "C" __declspec(dllexport)

namespace {

std::string Str(const char* text) { return text ? text : ""; }

struct Call {
    Call(const char* function, int32_t level = 0, const char* category = nullptr, const char* text = nullptr)
        : function(function), level(level), category(Str(category)), text(Str(text)) {}
    std::string function;
    int32_t level;
    std::string category, text, title, name, data;
    uint32_t size = 0, threadId = 0;
    bool initialised = false;
};

struct State {
    std::mutex mutex;
    std::deque<Call> calls;
    std::map<std::string, int32_t> levels;
    int32_t defaultLevel = 16;
    int32_t shouldTraceAnswer = -1;
    uint32_t initCount = 0;

    int32_t LevelOf(const char* category) const {
        const auto it = levels.find(Str(category));
        return it == levels.end() ? defaultLevel : it->second;
    }
} state;

using Lock = std::lock_guard<std::mutex>;

bool Done(State&) { return true; }

// Records the call, stamped with its thread and whether InitTraceSystem had run, and answers from
// the state under the same lock.
template <typename Answer = bool (*)(State&)>
auto Record(Call call, Answer answer = Done) {
    Lock lock(state.mutex);
    call.initialised = state.initCount > 0;
    call.threadId = ::GetCurrentThreadId();
    state.calls.push_back(std::move(call));
    return answer(state);
}

}  // namespace

REC_EXPORT bool KVTRACE_CALL Write(int32_t level, const char* category, const char* text) {
    return Record({"Write", level, category, text});
}
REC_EXPORT bool KVTRACE_CALL Dump(int32_t level, const char* category, const char* title, const char* name,
                                  const void* data, uint32_t size) {
    Call call("Dump", level, category);
    call.title = Str(title);
    call.name = Str(name);
    if (data) call.data.assign(static_cast<const char*>(data), size);
    call.size = size;
    return Record(std::move(call));
}
REC_EXPORT bool KVTRACE_CALL ShouldTrace(int32_t level) {
    return Record({"ShouldTrace", level}, [level](State& s) {
        bool wanted = level <= s.defaultLevel;
        for (const auto& entry : s.levels) wanted = wanted || level <= entry.second;
        return s.shouldTraceAnswer < 0 ? wanted : s.shouldTraceAnswer != 0;
    });
}
REC_EXPORT bool KVTRACE_CALL ShouldTraceCategory(int32_t level, const char* category) {
    return Record({"ShouldTraceCategory", level, category}, [=](State& s) { return level <= s.LevelOf(category); });
}
REC_EXPORT int32_t KVTRACE_CALL GetLevel(const char* category) {
    return Record({"GetLevel", 0, category}, [=](State& s) { return s.LevelOf(category); });
}
REC_EXPORT bool KVTRACE_CALL InitTraceSystem(void) {
    return Record({"InitTraceSystem"}, [](State& s) { return ++s.initCount > 0; });
}
// The module makes none of the other calls: they are recorded by name only.
REC_EXPORT bool KVTRACE_CALL WriteEntry(int32_t, const char*, const char*, int32_t, const char*, const char*) {
    return Record({"WriteEntry"});
}
REC_EXPORT bool KVTRACE_CALL DumpEntry(int32_t, const char*, const char*, int32_t, const char*, const char*,
                                       const void*, uint32_t) {
    return Record({"DumpEntry"});
}
REC_EXPORT bool KVTRACE_CALL ConfigureTrace(const char*) { return Record({"ConfigureTrace"}); }
REC_EXPORT bool KVTRACE_CALL IsTracingEnabled(void) { return Record({"IsTracingEnabled"}); }
REC_EXPORT void KVTRACE_CALL SetTracingEnabled(bool) { Record({"SetTracingEnabled"}); }
REC_EXPORT void KVTRACE_CALL SetAppTracingLevel(int32_t) { Record({"SetAppTracingLevel"}); }
REC_EXPORT int32_t KVTRACE_CALL GetAppTracingLevel(void) { return Record({"GetAppTracingLevel"}); }
REC_EXPORT bool KVTRACE_CALL SetLevel(const char*, int32_t) { return Record({"SetLevel"}); }
REC_EXPORT bool KVTRACE_CALL ListenerExists(const char*, const char*) { return !Record({"ListenerExists"}); }
REC_EXPORT bool KVTRACE_CALL AddListener(const char*, const char*, int32_t, const char*) { return Record({"AddListener"}); }
REC_EXPORT bool KVTRACE_CALL AddConsoleListener(const char*) { return Record({"AddConsoleListener"}); }
REC_EXPORT bool KVTRACE_CALL AddTextfileListener(const char*, const char*) { return Record({"AddTextfileListener"}); }
REC_EXPORT bool KVTRACE_CALL RemoveListenerCategory(const char*, const char*) { return Record({"RemoveListenerCategory"}); }
REC_EXPORT bool KVTRACE_CALL RemoveListener(const char*) { return Record({"RemoveListener"}); }
REC_EXPORT bool KVTRACE_CALL RemoveCategory(const char*) { return Record({"RemoveCategory"}); }
REC_EXPORT void KVTRACE_CALL RemoveAllCategories(void) { Record({"RemoveAllCategories"}); }
#ifndef RECORDING_TRACE_WITHOUT_DONE
REC_EXPORT void KVTRACE_CALL DoneTraceSystem(void) { Record({"DoneTraceSystem"}); }
#endif

REC_API void RecReset(void) {
    Lock lock(state.mutex);
    state.calls.clear();
    state.levels.clear();
    state.defaultLevel = 16;
    state.shouldTraceAnswer = -1;
}
REC_API void RecForgetInit(void) { Lock lock(state.mutex); state.initCount = 0; }
REC_API void RecSetDefaultLevel(int32_t level) { Lock lock(state.mutex); state.defaultLevel = level; }
REC_API void RecSetCategoryLevel(const char* category, int32_t level) { Lock lock(state.mutex); state.levels[category] = level; }
REC_API void RecSetShouldTraceAnswer(int32_t answer) { Lock lock(state.mutex); state.shouldTraceAnswer = answer; }
REC_API uint32_t RecInitCount(void) { Lock lock(state.mutex); return state.initCount; }
REC_API bool RecInitialised(void) { return RecInitCount() > 0; }
REC_API size_t RecCallCount(void) { Lock lock(state.mutex); return state.calls.size(); }
REC_API bool RecGetCall(size_t index, RecCall* out) {
    Lock lock(state.mutex);
    if (index >= state.calls.size()) return false;
    const Call& c = state.calls[index];
    *out = {c.function.c_str(), c.threadId, c.level, c.category.c_str(), c.text.c_str(), c.title.c_str(),
            c.name.c_str(), c.data.empty() ? nullptr : reinterpret_cast<const unsigned char*>(c.data.data()), c.size};
    return true;
}
REC_API size_t RecCallsBeforeInit(void) {
    Lock lock(state.mutex);
    size_t count = 0;
    for (const Call& c : state.calls) count += !c.initialised && c.function != "InitTraceSystem";
    return count;
}
