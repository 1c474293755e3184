#include "trace/trace_calls.h"

#include "trace/text_conversion.h"
#include "trace/trace_system_binding.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>

namespace {

int32_t Raw(TraceLevel level) { return static_cast<int32_t>(level); }

// Formats with msvcrt's wide formatter (its "%s" takes a wide string, whatever the C++ headers
// select for swprintf) and converts into `destination`, at most 4095 characters.
void FormatWide(char (&destination)[kTextCapacity + 1], const wchar_t* format, va_list args) {
    std::memset(destination, 0, sizeof destination);
    va_list counting;
    va_copy(counting, args);
    const int count = _vscwprintf(format, counting);
    va_end(counting);
    if (count < 0) return;

    constexpr int kStackCharacters = static_cast<int>(kTextCapacity);
    if (count <= kStackCharacters) {
        wchar_t formatted[kStackCharacters + 1] = {};
        _vsnwprintf(formatted, kStackCharacters + 1, format, args);
        ConvertToNarrow(formatted, destination, kTextCapacity);
    } else {
        std::unique_ptr<wchar_t[]> formatted(new wchar_t[static_cast<size_t>(count) + 1]());
        _vsnwprintf(formatted.get(), static_cast<size_t>(count) + 1, format, args);
        ConvertToNarrow(formatted.get(), destination, kTextCapacity);
    }
}

}  // namespace

void TraceWriteFormatWanted(TraceLevel level, const wchar_t* category, const wchar_t* format, ...) noexcept {
    try {
        char message[kTextCapacity + 1];
        va_list args;
        va_start(args, format);
        FormatWide(message, format, args);
        va_end(args);
        char narrowCategory[kCategoryCapacity + 1];
        ConvertToNarrow(category, narrowCategory, kCategoryCapacity);
        narrowCategory[kCategoryCapacity] = '\0';
        TheTraceSystemBinding().Write(Raw(level), narrowCategory, message);
    } catch (...) {
        // Tracing never fails its caller, not even on allocation failure.
    }
}

void TraceWriteText(TraceLevel level, const wchar_t* category, const wchar_t* text) {
    TraceSystemBinding& binding = TheTraceSystemBinding();
    if (!binding.ShouldTrace(Raw(level))) return;
    binding.Write(Raw(level), category, text);
}

void TraceWriteText(TraceLevel level, const char* category, const char* text) {
    TraceSystemBinding& binding = TheTraceSystemBinding();
    if (!binding.ShouldTrace(Raw(level))) return;
    binding.Write(Raw(level), category, text);
}

void TraceDump(TraceLevel level, const wchar_t* category, const wchar_t* title, const wchar_t* name,
               const void* data, uint32_t size) {
    TraceSystemBinding& binding = TheTraceSystemBinding();
    if (!binding.ShouldTrace(Raw(level))) return;
    binding.Dump(Raw(level), category, title, name, data, size);
}

int32_t TraceGetLevel(const wchar_t* category) { return TheTraceSystemBinding().GetLevel(category); }

bool TraceShouldTraceCategory(TraceLevel level, const wchar_t* category) {
    return TheTraceSystemBinding().ShouldTraceCategory(Raw(level), category);
}

bool TraceShouldTraceCategory(TraceLevel level, const char* category) {
    return TheTraceSystemBinding().ShouldTraceCategory(Raw(level), category);
}
