// The Rec* control interface: levels the test sets and the calls it reads back.
#include "tests/doubles/recording_trace/recorder.h"

namespace {

using rec::TheRecorder;

const char* Pointer(const rec::OptionalText& text) {
    return text ? text->c_str() : nullptr;
}

}  // namespace

extern "C" {

REC_API void RecReset(void) {
    auto lock = TheRecorder().Lock();
    TheRecorder().Reset();
}

REC_API void RecForgetInit(void) {
    auto lock = TheRecorder().Lock();
    TheRecorder().ForgetInit();
}

REC_API void RecSetDefaultLevel(int32_t level) {
    auto lock = TheRecorder().Lock();
    TheRecorder().defaultLevel = level;
}

REC_API void RecSetCategoryLevel(const char* category, int32_t level) {
    if (!category) return;
    auto lock = TheRecorder().Lock();
    TheRecorder().SetLevel(category, level);
}

REC_API void RecSetShouldTraceAnswer(int32_t answer) {
    auto lock = TheRecorder().Lock();
    TheRecorder().shouldTraceAnswer = answer;
}

REC_API uint32_t RecInitCount(void) {
    auto lock = TheRecorder().Lock();
    return TheRecorder().initCount;
}

REC_API bool RecInitialised(void) {
    auto lock = TheRecorder().Lock();
    return TheRecorder().initialised;
}

REC_API size_t RecCallCount(void) {
    auto lock = TheRecorder().Lock();
    return TheRecorder().calls.size();
}

REC_API bool RecGetCall(size_t index, RecCall* call) {
    auto lock = TheRecorder().Lock();
    const auto& calls = TheRecorder().calls;
    if (!call || index >= calls.size()) return false;
    const rec::Call& recorded = calls[index];
    call->function = recorded.function.c_str();
    call->initialised = recorded.initialised;
    call->threadId = recorded.threadId;
    call->hasLevel = recorded.level.has_value();
    call->level = recorded.level.value_or(0);
    call->category = Pointer(recorded.category);
    call->text = Pointer(recorded.text);
    call->title = Pointer(recorded.title);
    call->name = Pointer(recorded.name);
    call->data = recorded.data ? recorded.data->data() : nullptr;
    call->size = recorded.size;
    call->sourceFile = Pointer(recorded.sourceFile);
    call->sourceLine = recorded.sourceLine;
    call->functionName = Pointer(recorded.functionName);
    call->listenerName = Pointer(recorded.listenerName);
    call->argument = Pointer(recorded.argument);
    call->number = recorded.number;
    return true;
}

REC_API size_t RecCountOf(const char* function) {
    if (!function) return 0;
    auto lock = TheRecorder().Lock();
    size_t count = 0;
    for (const auto& call : TheRecorder().calls) {
        if (call.function == function) ++count;
    }
    return count;
}

REC_API size_t RecCallsBeforeInit(void) {
    auto lock = TheRecorder().Lock();
    size_t count = 0;
    for (const auto& call : TheRecorder().calls) {
        if (!call.initialised && call.function != "InitTraceSystem") ++count;
    }
    return count;
}

}  // extern "C"
