// The library's message writer and its log-file writers. Formats are narrow and printf-style with
// the platform's conventions ("%S" takes a wide string).
#pragma once

#include <cstdarg>

#define TESK_MS_PRINTF(formatIndex, firstArg) __attribute__((format(ms_printf, formatIndex, firstArg)))

// Message levels of _TracerWrite.
inline constexpr bool kTraceInfo = false;
inline constexpr bool kTraceError = true;

// Hands one message to the registered callback and, when switched on, to the internal log.
void _TracerWrite(bool isError, const char* format, ...) TESK_MS_PRINTF(2, 3);

// Appends one time-stamped line to targetFile under the shared log mutex.
void _InternTraceToFile(const char* targetFile, const char* format, ...) TESK_MS_PRINTF(2, 3);
void _InternTraceToFileV(const char* targetFile, const char* format, va_list args);

// _InternTraceToFile bound to the component-path log file.
void _InternTrace(const char* format, ...) TESK_MS_PRINTF(1, 2);
