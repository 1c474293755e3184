// The one binding of the process to the trace-system library: found, loaded and initialised on
// first need, with fixed fallback answers when the library cannot be had.
#pragma once

#include "contracts/trace_system_contract.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

class TraceSystemBinding {
public:
    TraceSystemBinding() noexcept;
    ~TraceSystemBinding();
    TraceSystemBinding(const TraceSystemBinding&) = delete;
    TraceSystemBinding& operator=(const TraceSystemBinding&) = delete;

    // The one load attempt of the process; later calls report its outcome.
    bool Load();

    // Inline: it comes first in every trace call, and once bound it is one load and the call.
    bool ShouldTrace(int32_t level) {
        const TraceEntryPoints* table = published_.load(std::memory_order_acquire);
        return table != nullptr ? table->ShouldTrace(level) : ShouldTraceUnbound(level);
    }
    bool ShouldTraceCategory(int32_t level, const char* category);
    bool ShouldTraceCategory(int32_t level, const wchar_t* category);
    int32_t GetLevel(const wchar_t* category);
    void Write(int32_t level, const char* category, const char* text);
    void Write(int32_t level, const wchar_t* category, const wchar_t* text);
    void Dump(int32_t level, const wchar_t* category, const wchar_t* title, const wchar_t* name,
              const void* data, uint32_t size);

private:
    // The complete table once bound, null otherwise; may start the load attempt.
    const TraceEntryPoints* EntryPoints();
    bool ShouldTraceUnbound(int32_t level);
    bool BindExports();

    CRITICAL_SECTION lock_;
    HMODULE module_ = nullptr;
    bool loadAttempted_ = false;
    TraceEntryPoints entryPoints_{};
    // Other threads test these without the lock: the table is published only after
    // InitTraceSystem has run, so nobody calls into a half-bound library.
    std::atomic<const TraceEntryPoints*> published_{nullptr};
    std::atomic<bool> failed_{false};
};

// Constructed by the module's static initialisers, before DllMain runs.
extern TraceSystemBinding g_traceSystemBinding;

// Inline, like ShouldTrace, so that a traced-off line costs no call beyond the trace call's own.
inline TraceSystemBinding& TheTraceSystemBinding() noexcept { return g_traceSystemBinding; }
