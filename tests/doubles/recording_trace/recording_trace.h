// Control interface of the recording stand-in for KvTraceHub001.dll: it records every call with
// the bytes it was given and answers level questions from levels the test sets. Linking its import
// library shares one instance with the module; pointers stay valid until the next RecReset.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#ifdef RECORDING_TRACE_BUILD
#define REC_API extern "C" __declspec(dllexport)
#else
#define REC_API extern "C" __declspec(dllimport)
#endif

// Forgets recorded calls, category levels and the ShouldTrace answer; the default level becomes
// 16. The InitTraceSystem count outlasts it, as the binding that calls it lasts for the process.
REC_API void RecReset(void);
REC_API void RecForgetInit(void);
// GetLevel and ShouldTraceCategory answer from the category's level or the default level.
// ShouldTrace answers 0 or 1 as set or, by default (-1), whether the level is at most the
// default level or the level of some category.
REC_API void RecSetDefaultLevel(int32_t level);
REC_API void RecSetCategoryLevel(const char* category, int32_t level);
REC_API void RecSetShouldTraceAnswer(int32_t answer);
REC_API uint32_t RecInitCount(void);
REC_API bool RecInitialised(void);

// One call of one export; a string the export does not take or got as null is "", data is null
// when there were no bytes.
struct RecCall {
    const char* function;
    uint32_t threadId;
    int32_t level;
    const char *category, *text, *title, *name;
    const unsigned char* data;
    uint32_t size;
};
REC_API size_t RecCallCount(void);
REC_API bool RecGetCall(size_t index, RecCall* call);
// Calls of any export other than InitTraceSystem made while it had not been called.
REC_API size_t RecCallsBeforeInit(void);

namespace records {

using CountFn = size_t (*)();
using GetFn = bool (*)(size_t, RecCall*);

// The calls of one export in order, read through the import library or through the exports of a
// copy the module loaded on its own.
inline std::vector<RecCall> CallsOf(const char* function = "Write", CountFn count = RecCallCount, GetFn get = RecGetCall) {
    std::vector<RecCall> calls;
    RecCall call{};
    for (size_t i = 0; i < count(); ++i) {
        if (get(i, &call) && std::strcmp(call.function, function) == 0) calls.push_back(call);
    }
    return calls;
}

}  // namespace records
