// Reading what the scenario host printed: its message lines ("I "/"E " and text), its settings
// line and its process and thread numbers.
#pragma once

#include "test_support.h"

#include <string>
#include <vector>

namespace dirlib_test {

inline std::vector<std::string> MessageLines(const std::string& output) {
    std::vector<std::string> messages;
    for (const std::string& line : SplitLines(output)) {
        if (line.rfind("I ", 0) == 0 || line.rfind("E ", 0) == 0) messages.push_back(line);
    }
    return messages;
}

// The text after "<tag> " of the first line that starts with it.
inline std::string TaggedLine(const std::string& output, const std::string& tag) {
    for (const std::string& line : SplitLines(output)) {
        if (line.rfind(tag + " ", 0) == 0) return line.substr(tag.size() + 1);
    }
    return "<no " + tag + " line>";
}

struct HostIds {
    std::string pid;
    std::string tid;
};

inline HostIds IdsOf(const std::string& output) {
    const std::string ids = TaggedLine(output, "PID");
    const size_t tid = ids.find(" TID ");
    if (tid == std::string::npos) return {};
    return {ids.substr(0, tid), ids.substr(tid + 5)};
}

inline const std::string kUserMutexLine = "I Init: Der Mutex <LBS_MUTEX_GETUSERNAME> konnte erfolgreich erzeugt werden";
inline const std::string kLogMutexLine = "I Init: Der Mutex <LBS_MUTEX_INTERN_TRACE> konnte erfolgreich erzeugt werden";

inline std::string ReadFailure(const char* value, int code = 2) {
    return "Init: Fehler <" + std::to_string(code) + "> beim Lesen des Eintrags \"" + value + "\"!";
}

}  // namespace dirlib_test
