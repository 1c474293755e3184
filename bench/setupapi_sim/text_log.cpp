// The SetupAPI text log: the thread's log token and the entries written to it, kept verbatim.
#include "bench/setupapi_sim/sim_state.h"

#include <cstdarg>
#include <cstdio>

namespace {

using sim::TheState;

// SetupAPI formats with the platform's printf rules, so the msvcrt functions are called by name.
std::string Format(const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = _vscprintf(format, measure);
    va_end(measure);
    if (length <= 0) return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    _vsnprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<size_t>(length));
    return text;
}

std::string EntryText(SP_LOG_TOKEN token, DWORD category, DWORD flags) {
    return "LogToken=" + sim::Hex(static_cast<ULONG_PTR>(token)) + ", Category=" + sim::Hex(category) +
           ", Flags=" + sim::Hex(flags);
}

void Record(const char* function, std::string arguments, sim::TextLogEntry entry, const char* message,
            va_list args) {
    auto& state = TheState();
    auto lock = state.Lock();
    if (auto failure = state.Enter(function, std::move(arguments))) {
        ::SetLastError(*failure);
        return;
    }
    if (message) {
        entry.message = message;
        entry.text = Format(message, args);
    }
    state.textLog.push_back(std::move(entry));
}

}  // namespace

extern "C" {

SP_LOG_TOKEN WINAPI SetupGetThreadLogToken(void) {
    auto& state = TheState();
    auto lock = state.Lock();
    if (auto failure = state.Enter("SetupGetThreadLogToken", "")) {
        ::SetLastError(*failure);
        return static_cast<SP_LOG_TOKEN>(-1);  // LOGTOKEN_UNSPECIFIED
    }
    return state.logToken;
}

void __cdecl SetupWriteTextLog(SP_LOG_TOKEN token, DWORD category, DWORD flags, PCSTR message, ...) {
    sim::TextLogEntry entry;
    entry.token = token;
    entry.category = category;
    entry.flags = flags;
    va_list args;
    va_start(args, message);
    Record("SetupWriteTextLog", EntryText(token, category, flags), std::move(entry), message, args);
    va_end(args);
}

void __cdecl SetupWriteTextLogError(SP_LOG_TOKEN token, DWORD category, DWORD flags, DWORD error, PCSTR message,
                                    ...) {
    sim::TextLogEntry entry;
    entry.token = token;
    entry.category = category;
    entry.flags = flags;
    entry.hasError = true;
    entry.error = error;
    va_list args;
    va_start(args, message);
    Record("SetupWriteTextLogError", EntryText(token, category, flags) + ", Error=" + sim::Hex(error),
           std::move(entry), message, args);
    va_end(args);
}

}  // extern "C"
