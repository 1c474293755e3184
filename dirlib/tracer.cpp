#include "dirlib/tracer.h"

#include "dirlib/locbase.h"
#include "dirlib/ms_format.h"
#include "dirlib/settings.h"
#include "platform/unique_resource.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/timeb.h>
#include <time.h>
#include <vector>

namespace {

std::atomic<LBS_TraceCallback> g_narrowCallback{nullptr};
std::atomic<LBS_TraceCallbackW> g_wideCallback{nullptr};

constexpr DWORD kLogMutexWaitMs = 1000;

// The writer's own failures are the only messages that go to the debugger; both callbacks get them.
void ReportWriterFailure(const char* text, const wchar_t* wideText) {
    const std::string debugLine = std::string("ERROR - _TracerWrite: ") + text;
    ::OutputDebugStringA(debugLine.c_str());
    // A callback that throws must not carry its exception out of the writer; each is tried on its own.
    try {
        if (const LBS_TraceCallback narrow = g_narrowCallback.load(std::memory_order_relaxed)) narrow(true, text);
    } catch (...) {
    }
    try {
        if (const LBS_TraceCallbackW wide = g_wideCallback.load(std::memory_order_relaxed)) wide(true, wideText);
    } catch (...) {
    }
}

std::string LinePrefix() {
    __timeb64 now = {};
    ::_ftime64_s(&now);
    tm local = {};
    ::_localtime64_s(&local, &now.time);
    char prefix[96] = {};
    std::snprintf(prefix, sizeof prefix, "%02d.%02d.%04d %02d:%02d:%02d.%03d [%d] [%d] ", local.tm_mday,
                  local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(now.millitm), static_cast<int>(::GetCurrentProcessId()),
                  static_cast<int>(::GetCurrentThreadId()));
    return prefix;
}

// Opened and closed per line, shared for reading only, so that every process appends in turn.
void AppendToFile(const char* targetFile, const std::string& bytes) {
    tesk::UniqueHfile file(::CreateFileA(targetFile, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    ::SetFilePointer(file.get(), 0, nullptr, FILE_END);
    DWORD written = 0;
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// Steps after a successful measurement; any exception in them is reported, never passed on.
void DeliverMessage(bool isError, int length, const char* format, va_list args, LBS_TraceCallback narrow,
                    LBS_TraceCallbackW wide) {
    try {
        std::vector<char> message(static_cast<size_t>(length) + 2, '\0');
        std::vector<wchar_t> wideMessage(message.size(), L'\0');
        _FormatInto(message.data(), message.size(), format, args);

        const LibrarySettings& settings = g_librarySettings;
        if (settings.internTraceOn) {
            _InternTraceToFile(settings.internTraceFile, "%s - %s", isError ? "ERROR" : "INFO", message.data());
        }
        if (narrow != nullptr) {
            narrow(isError, message.data());
        } else if (wide != nullptr) {
            size_t converted = 0;
            // The count includes the terminator: more than 1 means some text came through; a count
            // beyond the buffer is no success whatever the runtime answers.
            if (::mbstowcs_s(&converted, wideMessage.data(), wideMessage.size(), message.data(),
                             wideMessage.size()) == 0 &&
                converted > 1 && converted <= wideMessage.size()) {
                wide(isError, wideMessage.data());
            } else {
                wide(true, L"Fehler beim Konvertieren der Log-Meldung!");
            }
        }
    } catch (...) {
        ReportWriterFailure("Exception gefangen!", L"Exception gefangen!");
    }
}

}  // namespace

bool LBS_SetTraceCallback(LBS_TraceCallback callback) {
    if (callback == nullptr) return false;
    g_narrowCallback.store(callback, std::memory_order_relaxed);
    return true;
}

bool LBS_SetTraceCallbackW(LBS_TraceCallbackW callback) {
    if (callback == nullptr) return false;
    g_wideCallback.store(callback, std::memory_order_relaxed);
    return true;
}

void _TracerWrite(bool isError, const char* format, ...) {
    const LBS_TraceCallback narrow = g_narrowCallback.load(std::memory_order_relaxed);
    const LBS_TraceCallbackW wide = g_wideCallback.load(std::memory_order_relaxed);
    if (narrow == nullptr && wide == nullptr && !g_librarySettings.internTraceOn) return;

    va_list args;
    va_start(args, format);
    const int length = _FormattedLength(format, args);
    if (length <= 0) {
        ReportWriterFailure("Fehler im Format des Tracing-Strings!", L"Fehler im Format des Tracing-Strings!");
    } else {
        DeliverMessage(isError, length, format, args, narrow, wide);
    }
    va_end(args);
}

void _InternTraceToFileV(const char* targetFile, const char* format, va_list args) {
    try {
        const int length = _FormattedLength(format, args);
        std::string line = LinePrefix();
        if (length > 0) {
            std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
            _FormatInto(text.data(), text.size(), format, args);
            line += text.data();
        } else {
            char noInfo[96] = {};
            std::snprintf(noInfo, sizeof noInfo,
                          "---------- (Keine Info zum Ausgeben verf\xfcgbar, iFormatLen <%d>)", length);
            line += noInfo;
        }
        line += '\n';

        HANDLE logMutex = g_librarySettings.logMutex;
        const DWORD wait = ::WaitForSingleObject(logMutex, kLogMutexWaitMs);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
            AppendToFile(targetFile, line);
            ::ReleaseMutex(logMutex);
            return;
        }
        // Without the mutex the notice and the line go out in one write so that they share a line.
        char notice[128] = {};
        if (wait == WAIT_TIMEOUT) {
            std::snprintf(notice, sizeof notice,
                          "-----> _InternTrace: Timeout bei WaitForSingleObject, eigentliche Trace-Zeile folgt:");
        } else {
            std::snprintf(notice, sizeof notice,
                          "------> _InternTrace: Fehler <%d> bei WaitForSingleObject, eigentliche Trace-Zeile folgt:",
                          static_cast<int>(wait));
        }
        AppendToFile(targetFile, notice + line);
    } catch (...) {
        // Out of memory: the line is lost like one whose file cannot be opened.
    }
}

void _InternTraceToFile(const char* targetFile, const char* format, ...) {
    va_list args;
    va_start(args, format);
    _InternTraceToFileV(targetFile, format, args);
    va_end(args);
}

void _InternTrace(const char* format, ...) {
    va_list args;
    va_start(args, format);
    _InternTraceToFileV(g_librarySettings.libDirsFile, format, args);
    va_end(args);
}
