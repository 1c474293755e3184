// The 23 exports of the trace-system library. Each one records its call; the level questions
// are answered from the levels the test set, the rest report success.
#define KVTRACEHUB_DECLARE_EXPORTS
#include "contracts/KvTraceHub001.h"

#include "tests/doubles/recording_trace/recorder.h"

#define REC_EXPORT extern "C" __declspec(dllexport)

namespace {

using rec::Bytes;
using rec::Call;
using rec::TheRecorder;

Call Named(const char* function) {
    Call call;
    call.function = function;
    return call;
}

void Record(Call call) {
    auto lock = TheRecorder().Lock();
    TheRecorder().Record(std::move(call));
}

Call DumpCall(const char* function, int32_t level, const char* category, const char* title, const char* name,
              const void* data, uint32_t size) {
    Call call = Named(function);
    call.level = level;
    call.category = Bytes(category);
    call.title = Bytes(title);
    call.name = Bytes(name);
    if (data) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        call.data.emplace(bytes, bytes + size);
    }
    call.size = size;
    return call;
}

}  // namespace

REC_EXPORT bool KVTRACE_CALL Write(int32_t level, const char* category, const char* text) {
    Call call = Named("Write");
    call.level = level;
    call.category = Bytes(category);
    call.text = Bytes(text);
    Record(std::move(call));
    return true;
}

REC_EXPORT bool KVTRACE_CALL WriteEntry(int32_t level, const char* category, const char* sourceFile,
                                        int32_t sourceLine, const char* function, const char* text) {
    Call call = Named("WriteEntry");
    call.level = level;
    call.category = Bytes(category);
    call.sourceFile = Bytes(sourceFile);
    call.sourceLine = sourceLine;
    call.functionName = Bytes(function);
    call.text = Bytes(text);
    Record(std::move(call));
    return true;
}

REC_EXPORT bool KVTRACE_CALL Dump(int32_t level, const char* category, const char* title, const char* name,
                                  const void* data, uint32_t size) {
    Record(DumpCall("Dump", level, category, title, name, data, size));
    return true;
}

REC_EXPORT bool KVTRACE_CALL DumpEntry(int32_t level, const char* category, const char* sourceFile,
                                       int32_t sourceLine, const char* title, const char* name, const void* data,
                                       uint32_t size) {
    Call call = DumpCall("DumpEntry", level, category, title, name, data, size);
    call.sourceFile = Bytes(sourceFile);
    call.sourceLine = sourceLine;
    Record(std::move(call));
    return true;
}

REC_EXPORT bool KVTRACE_CALL ConfigureTrace(const char* settings) {
    Call call = Named("ConfigureTrace");
    call.argument = Bytes(settings);
    Record(std::move(call));
    return true;
}

REC_EXPORT bool KVTRACE_CALL IsTracingEnabled(void) {
    Record(Named("IsTracingEnabled"));
    return true;
}

REC_EXPORT void KVTRACE_CALL SetTracingEnabled(bool enabled) {
    Call call = Named("SetTracingEnabled");
    call.number = enabled ? 1 : 0;
    Record(std::move(call));
}

REC_EXPORT void KVTRACE_CALL SetAppTracingLevel(int32_t level) {
    Call call = Named("SetAppTracingLevel");
    call.level = level;
    Record(std::move(call));
}

REC_EXPORT int32_t KVTRACE_CALL GetAppTracingLevel(void) {
    auto lock = TheRecorder().Lock();
    TheRecorder().Record(Named("GetAppTracingLevel"));
    return TheRecorder().defaultLevel;
}

REC_EXPORT bool KVTRACE_CALL ShouldTrace(int32_t level) {
    Call call = Named("ShouldTrace");
    call.level = level;
    auto lock = TheRecorder().Lock();
    TheRecorder().Record(std::move(call));
    return TheRecorder().ShouldTrace(level);
}

REC_EXPORT bool KVTRACE_CALL ShouldTraceCategory(int32_t level, const char* category) {
    Call call = Named("ShouldTraceCategory");
    call.level = level;
    call.category = Bytes(category);
    auto lock = TheRecorder().Lock();
    TheRecorder().Record(std::move(call));
    return level <= TheRecorder().LevelOf(category);
}

REC_EXPORT bool KVTRACE_CALL SetLevel(const char* category, int32_t level) {
    Call call = Named("SetLevel");
    call.level = level;
    call.category = Bytes(category);
    auto lock = TheRecorder().Lock();
    TheRecorder().Record(std::move(call));
    if (!category) return false;
    TheRecorder().SetLevel(category, level);
    return true;
}

REC_EXPORT int32_t KVTRACE_CALL GetLevel(const char* category) {
    Call call = Named("GetLevel");
    call.category = Bytes(category);
    auto lock = TheRecorder().Lock();
    TheRecorder().Record(std::move(call));
    return TheRecorder().LevelOf(category);
}

REC_EXPORT bool KVTRACE_CALL ListenerExists(const char* category, const char* listenerName) {
    Call call = Named("ListenerExists");
    call.category = Bytes(category);
    call.listenerName = Bytes(listenerName);
    Record(std::move(call));
    return false;  // listeners are recorded, never kept
}

REC_EXPORT bool KVTRACE_CALL AddListener(const char* category, const char* listenerName, int32_t kind,
                                         const char* target) {
    Call call = Named("AddListener");
    call.category = Bytes(category);
    call.listenerName = Bytes(listenerName);
    call.number = kind;
    call.argument = Bytes(target);
    Record(std::move(call));
    return true;
}

REC_EXPORT bool KVTRACE_CALL AddConsoleListener(const char* category) {
    Call call = Named("AddConsoleListener");
    call.category = Bytes(category);
    Record(std::move(call));
    return true;
}

REC_EXPORT bool KVTRACE_CALL AddTextfileListener(const char* category, const char* filePath) {
    Call call = Named("AddTextfileListener");
    call.category = Bytes(category);
    call.argument = Bytes(filePath);
    Record(std::move(call));
    return true;
}

REC_EXPORT bool KVTRACE_CALL RemoveListenerCategory(const char* category, const char* listenerName) {
    Call call = Named("RemoveListenerCategory");
    call.category = Bytes(category);
    call.listenerName = Bytes(listenerName);
    Record(std::move(call));
    return true;
}

REC_EXPORT bool KVTRACE_CALL RemoveListener(const char* listenerName) {
    Call call = Named("RemoveListener");
    call.listenerName = Bytes(listenerName);
    Record(std::move(call));
    return true;
}

REC_EXPORT bool KVTRACE_CALL RemoveCategory(const char* category) {
    Call call = Named("RemoveCategory");
    call.category = Bytes(category);
    Record(std::move(call));
    return true;
}

REC_EXPORT void KVTRACE_CALL RemoveAllCategories(void) {
    Record(Named("RemoveAllCategories"));
}

#ifndef RECORDING_TRACE_WITHOUT_DONE
REC_EXPORT void KVTRACE_CALL DoneTraceSystem(void) {
    Record(Named("DoneTraceSystem"));
}
#endif

REC_EXPORT bool KVTRACE_CALL InitTraceSystem(void) {
    auto lock = TheRecorder().Lock();
    TheRecorder().Record(Named("InitTraceSystem"));
    TheRecorder().MarkInitialised();
    return true;
}
