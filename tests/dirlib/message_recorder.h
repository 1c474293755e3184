// Records what the library hands to its callbacks in this process. Both recorders are registered,
// so the narrow one receives every message and the wide one only the writer's own failures.
#pragma once

#include "dirlib/locbase.h"

#include <ostream>
#include <string>
#include <vector>

namespace dirlib_test {

struct NarrowMessage {
    bool isError;
    std::string text;
    bool operator==(const NarrowMessage& other) const { return isError == other.isError && text == other.text; }
};

struct WideMessage {
    bool isError;
    std::wstring text;
    bool operator==(const WideMessage& other) const { return isError == other.isError && text == other.text; }
};

inline std::vector<NarrowMessage> g_narrowMessages;
inline std::vector<WideMessage> g_wideMessages;

inline void WINAPI RecordNarrow(bool isError, const char* text) { g_narrowMessages.push_back({isError, text}); }
inline void WINAPI RecordWide(bool isError, const wchar_t* text) { g_wideMessages.push_back({isError, text}); }

inline void StartRecording() {
    LBS_SetTraceCallback(RecordNarrow);
    LBS_SetTraceCallbackW(RecordWide);
    g_narrowMessages.clear();
    g_wideMessages.clear();
}

inline std::ostream& operator<<(std::ostream& out, const NarrowMessage& m) {
    return out << (m.isError ? "ERROR " : "INFO ") << m.text;
}

}  // namespace dirlib_test
