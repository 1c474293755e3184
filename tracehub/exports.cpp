// The 23 exports. Each one forwards to the hub and turns any exception into its fallback answer,
// because no exception may cross into the caller.
#define KVTRACEHUB_DECLARE_EXPORTS
#include "contracts/KvTraceHub001.h"

#include "tracehub/trace_hub.h"

namespace {

kvtrace::TraceHub g_hub;

template <typename Result, typename Call>
Result Guarded(Result fallback, Call call) noexcept {
    try {
        return call();
    } catch (...) {
        return fallback;
    }
}

}  // namespace

extern "C" {

bool KVTRACE_CALL Write(int32_t level, const char* category, const char* text) {
    return Guarded(false, [&] { return g_hub.Write(level, category, nullptr, 0, nullptr, text); });
}

bool KVTRACE_CALL WriteEntry(int32_t level, const char* category, const char* sourceFile, int32_t sourceLine,
                             const char* function, const char* text) {
    return Guarded(false, [&] { return g_hub.Write(level, category, sourceFile, sourceLine, function, text); });
}

bool KVTRACE_CALL Dump(int32_t level, const char* category, const char* title, const char* name, const void* data,
                       uint32_t size) {
    return Guarded(false, [&] { return g_hub.Dump(level, category, nullptr, 0, title, name, data, size); });
}

bool KVTRACE_CALL DumpEntry(int32_t level, const char* category, const char* sourceFile, int32_t sourceLine,
                            const char* title, const char* name, const void* data, uint32_t size) {
    return Guarded(false, [&] { return g_hub.Dump(level, category, sourceFile, sourceLine, title, name, data, size); });
}

bool KVTRACE_CALL ConfigureTrace(const char* settings) {
    return Guarded(false, [&] { return g_hub.Configure(settings); });
}

bool KVTRACE_CALL IsTracingEnabled(void) {
    return Guarded(false, [&] { return g_hub.IsEnabled(); });
}

void KVTRACE_CALL SetTracingEnabled(bool enabled) {
    Guarded(0, [&] {
        g_hub.SetEnabled(enabled);
        return 0;
    });
}

void KVTRACE_CALL SetAppTracingLevel(int32_t level) {
    Guarded(0, [&] {
        g_hub.SetAppLevel(level);
        return 0;
    });
}

int32_t KVTRACE_CALL GetAppTracingLevel(void) {
    return Guarded(int32_t{0}, [&] { return g_hub.GetAppLevel(); });
}

bool KVTRACE_CALL ShouldTrace(int32_t level) { return g_hub.ShouldTrace(level); }

bool KVTRACE_CALL ShouldTraceCategory(int32_t level, const char* category) {
    return Guarded(false, [&] { return g_hub.ShouldTraceCategory(level, category); });
}

bool KVTRACE_CALL SetLevel(const char* category, int32_t level) {
    return Guarded(false, [&] { return g_hub.SetLevel(category, level); });
}

int32_t KVTRACE_CALL GetLevel(const char* category) {
    return Guarded(int32_t{0}, [&] { return g_hub.GetLevel(category); });
}

bool KVTRACE_CALL ListenerExists(const char* category, const char* listenerName) {
    return Guarded(false, [&] { return g_hub.ListenerExists(category, listenerName); });
}

bool KVTRACE_CALL AddListener(const char* category, const char* listenerName, int32_t kind, const char* target) {
    return Guarded(false, [&] { return g_hub.AddListener(category, listenerName, kind, target); });
}

bool KVTRACE_CALL AddConsoleListener(const char* category) {
    return Guarded(false, [&] { return g_hub.AddListener(category, "Console", KvTraceListenerConsole, nullptr); });
}

bool KVTRACE_CALL AddTextfileListener(const char* category, const char* filePath) {
    return Guarded(false, [&] { return g_hub.AddListener(category, filePath, KvTraceListenerTextfile, filePath); });
}

bool KVTRACE_CALL RemoveListenerCategory(const char* category, const char* listenerName) {
    return Guarded(false, [&] { return g_hub.RemoveListenerCategory(category, listenerName); });
}

bool KVTRACE_CALL RemoveListener(const char* listenerName) {
    return Guarded(false, [&] { return g_hub.RemoveListener(listenerName); });
}

bool KVTRACE_CALL RemoveCategory(const char* category) {
    return Guarded(false, [&] { return g_hub.RemoveCategory(category); });
}

void KVTRACE_CALL RemoveAllCategories(void) {
    Guarded(0, [&] {
        g_hub.RemoveAllCategories();
        return 0;
    });
}

void KVTRACE_CALL DoneTraceSystem(void) {
    Guarded(0, [&] {
        g_hub.Done();
        return 0;
    });
}

bool KVTRACE_CALL InitTraceSystem(void) {
    return Guarded(false, [&] { return g_hub.Init(); });
}

}  // extern "C"
