// The trace calls every part of the module writes through. Each asks the trace system first
// whether the level is wanted, so an unwanted line costs one call and no formatting.
#pragma once

#include "trace/trace_level.h"

#include <cstdint>

// "%s" in `format` takes a wide string, as with the platform's wide formatting functions.
void TraceWriteFormat(TraceLevel level, const wchar_t* category, const wchar_t* format, ...) noexcept;
void TraceWriteText(TraceLevel level, const wchar_t* category, const wchar_t* text);
void TraceWriteText(TraceLevel level, const char* category, const char* text);
void TraceDump(TraceLevel level, const wchar_t* category, const wchar_t* title, const wchar_t* name,
               const void* data, uint32_t size);
int32_t TraceGetLevel(const wchar_t* category);
bool TraceShouldTraceCategory(TraceLevel level, const wchar_t* category);
bool TraceShouldTraceCategory(TraceLevel level, const char* category);
