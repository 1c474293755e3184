// The exports of the trace-system library, each recording its call, and the Rec* control
// interface, over one process-wide state behind one lock.
#define KVTRACEHUB_DECLARE_EXPORTS
#include "contracts/KvTraceHub001.h"
#include "tests/doubles/recording_trace/recording_trace.h"

#include <windows.h>

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#define REC_EXPORT extern "C" __declspec(dllexport)

namespace {

using Text = std::optional<std::string>;

Text Bytes(const char* text) { return text ? Text(text) : std::nullopt; }
const char* Pointer(const Text& text) { return text ? text->c_str() : nullptr; }

struct Call {
    std::string function;
    int32_t level = 0;
    Text category, text, title, name;
    std::optional<std::vector<unsigned char>> data;
    uint32_t size = 0;
    bool initialised = false;
    uint32_t threadId = 0;
};

struct State {
    std::mutex mutex;
    std::deque<Call> calls;
    std::map<std::string, int32_t> levels;
    int32_t defaultLevel = REC_INITIAL_DEFAULT_LEVEL;
    int32_t shouldTraceAnswer = REC_SHOULD_TRACE_COMPUTED;
    uint32_t initCount = 0;
    bool initialised = false;

    int32_t LevelOf(const char* category) const {
        const auto it = category ? levels.find(category) : levels.end();
        return it == levels.end() ? defaultLevel : it->second;
    }
};

State& TheState() {
    static State state;
    return state;
}

// Records the call stamped with the InitTraceSystem state and the thread, then answers from the
// state under the same lock.
template <typename Answer>
auto Record(Call call, Answer answer) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    call.initialised = state.initialised;
    call.threadId = ::GetCurrentThreadId();
    state.calls.push_back(std::move(call));
    return answer(state);
}

bool Record(Call call) {
    return Record(std::move(call), [](State&) { return true; });
}

Call Named(const char* function, const char* category = nullptr, int32_t level = 0) {
    Call call;
    call.function = function;
    call.category = Bytes(category);
    call.level = level;
    return call;
}

template <typename Fn>
auto Locked(Fn fn) {
    std::lock_guard<std::mutex> lock(TheState().mutex);
    return fn(TheState());
}

}  // namespace

REC_EXPORT bool KVTRACE_CALL Write(int32_t level, const char* category, const char* text) {
    Call call = Named("Write", category, level);
    call.text = Bytes(text);
    return Record(std::move(call));
}
// The module never calls the variants with a source position: their names suffice.
REC_EXPORT bool KVTRACE_CALL WriteEntry(int32_t level, const char* category, const char*, int32_t, const char*,
                                        const char*) {
    return Record(Named("WriteEntry", category, level));
}
REC_EXPORT bool KVTRACE_CALL Dump(int32_t level, const char* category, const char* title, const char* name,
                                  const void* data, uint32_t size) {
    Call call = Named("Dump", category, level);
    call.title = Bytes(title);
    call.name = Bytes(name);
    if (data) call.data.emplace(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + size);
    call.size = size;
    return Record(std::move(call));
}
REC_EXPORT bool KVTRACE_CALL DumpEntry(int32_t level, const char* category, const char*, int32_t, const char*,
                                       const char*, const void*, uint32_t) {
    return Record(Named("DumpEntry", category, level));
}
REC_EXPORT bool KVTRACE_CALL ConfigureTrace(const char*) { return Record(Named("ConfigureTrace")); }
REC_EXPORT bool KVTRACE_CALL IsTracingEnabled(void) { return Record(Named("IsTracingEnabled")); }
REC_EXPORT void KVTRACE_CALL SetTracingEnabled(bool) { Record(Named("SetTracingEnabled")); }
REC_EXPORT void KVTRACE_CALL SetAppTracingLevel(int32_t level) { Record(Named("SetAppTracingLevel", nullptr, level)); }
REC_EXPORT int32_t KVTRACE_CALL GetAppTracingLevel(void) {
    return Record(Named("GetAppTracingLevel"), [](State& state) { return state.defaultLevel; });
}
REC_EXPORT bool KVTRACE_CALL ShouldTrace(int32_t level) {
    return Record(Named("ShouldTrace", nullptr, level), [level](State& state) {
        if (state.shouldTraceAnswer != REC_SHOULD_TRACE_COMPUTED) return state.shouldTraceAnswer != 0;
        bool wanted = level <= state.defaultLevel;
        for (const auto& entry : state.levels) wanted = wanted || level <= entry.second;
        return wanted;
    });
}
REC_EXPORT bool KVTRACE_CALL ShouldTraceCategory(int32_t level, const char* category) {
    return Record(Named("ShouldTraceCategory", category, level),
                  [=](State& state) { return level <= state.LevelOf(category); });
}
REC_EXPORT bool KVTRACE_CALL SetLevel(const char* category, int32_t level) {
    return Record(Named("SetLevel", category, level), [=](State& state) {
        if (category) state.levels[category] = level;
        return category != nullptr;
    });
}
REC_EXPORT int32_t KVTRACE_CALL GetLevel(const char* category) {
    return Record(Named("GetLevel", category), [=](State& state) { return state.LevelOf(category); });
}
// Listeners are recorded, never kept.
REC_EXPORT bool KVTRACE_CALL ListenerExists(const char* category, const char*) {
    return !Record(Named("ListenerExists", category));
}
REC_EXPORT bool KVTRACE_CALL AddListener(const char* category, const char*, int32_t, const char*) {
    return Record(Named("AddListener", category));
}
REC_EXPORT bool KVTRACE_CALL AddConsoleListener(const char* category) { return Record(Named("AddConsoleListener", category)); }
REC_EXPORT bool KVTRACE_CALL AddTextfileListener(const char* category, const char*) {
    return Record(Named("AddTextfileListener", category));
}
REC_EXPORT bool KVTRACE_CALL RemoveListenerCategory(const char* category, const char*) {
    return Record(Named("RemoveListenerCategory", category));
}
REC_EXPORT bool KVTRACE_CALL RemoveListener(const char*) { return Record(Named("RemoveListener")); }
REC_EXPORT bool KVTRACE_CALL RemoveCategory(const char* category) { return Record(Named("RemoveCategory", category)); }
REC_EXPORT void KVTRACE_CALL RemoveAllCategories(void) { Record(Named("RemoveAllCategories")); }
#ifndef RECORDING_TRACE_WITHOUT_DONE
REC_EXPORT void KVTRACE_CALL DoneTraceSystem(void) { Record(Named("DoneTraceSystem")); }
#endif
REC_EXPORT bool KVTRACE_CALL InitTraceSystem(void) {
    return Record(Named("InitTraceSystem"), [](State& state) {
        ++state.initCount;
        return state.initialised = true;
    });
}

extern "C" {

REC_API void RecReset(void) {
    Locked([](State& state) {
        state.calls.clear();
        state.levels.clear();
        state.defaultLevel = REC_INITIAL_DEFAULT_LEVEL;
        state.shouldTraceAnswer = REC_SHOULD_TRACE_COMPUTED;
    });
}
REC_API void RecForgetInit(void) {
    Locked([](State& state) {
        state.initCount = 0;
        state.initialised = false;
    });
}
REC_API void RecSetDefaultLevel(int32_t level) { Locked([=](State& state) { state.defaultLevel = level; }); }
REC_API void RecSetCategoryLevel(const char* category, int32_t level) {
    if (category) Locked([=](State& state) { state.levels[category] = level; });
}
REC_API void RecSetShouldTraceAnswer(int32_t answer) { Locked([=](State& state) { state.shouldTraceAnswer = answer; }); }
REC_API uint32_t RecInitCount(void) { return Locked([](State& state) { return state.initCount; }); }
REC_API bool RecInitialised(void) { return Locked([](State& state) { return state.initialised; }); }
REC_API size_t RecCallCount(void) { return Locked([](State& state) { return state.calls.size(); }); }
REC_API bool RecGetCall(size_t index, RecCall* out) {
    return Locked([=](State& state) {
        if (!out || index >= state.calls.size()) return false;
        const Call& call = state.calls[index];
        *out = RecCall{call.function.c_str(), call.initialised, call.threadId, call.level,
                       Pointer(call.category), Pointer(call.text), Pointer(call.title), Pointer(call.name),
                       call.data ? call.data->data() : nullptr, call.size};
        return true;
    });
}
REC_API size_t RecCallsBeforeInit(void) {
    return Locked([](State& state) {
        size_t count = 0;
        for (const Call& call : state.calls) count += !call.initialised && call.function != "InitTraceSystem";
        return count;
    });
}

}  // extern "C"
