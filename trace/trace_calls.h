// The trace calls every part of the module writes through. Each asks the trace system first
// whether the level is wanted, so an unwanted line costs one call and no formatting.
#pragma once

#include "trace/trace_level.h"
#include "trace/trace_system_binding.h"

#include <cstdint>

// The formatting half of TraceWriteFormat, for a level already known to be wanted.
void TraceWriteFormatWanted(TraceLevel level, const wchar_t* category, const wchar_t* format, ...) noexcept;

// "%s" in `format` takes a wide string, as with the platform's wide formatting functions. The
// question comes inline, so that an unwanted line costs its caller that one indirect call.
template <typename... Arguments>
inline void TraceWriteFormat(TraceLevel level, const wchar_t* category, const wchar_t* format,
                             Arguments... arguments) noexcept {
    if (category == nullptr || category[0] == L'\0' || format == nullptr) return;
    if (!TheTraceSystemBinding().ShouldTrace(static_cast<int32_t>(level))) return;
    TraceWriteFormatWanted(level, category, format, arguments...);
}
void TraceWriteText(TraceLevel level, const wchar_t* category, const wchar_t* text);
void TraceWriteText(TraceLevel level, const char* category, const char* text);
void TraceDump(TraceLevel level, const wchar_t* category, const wchar_t* title, const wchar_t* name,
               const void* data, uint32_t size);
int32_t TraceGetLevel(const wchar_t* category);
bool TraceShouldTraceCategory(TraceLevel level, const wchar_t* category);
bool TraceShouldTraceCategory(TraceLevel level, const char* category);
