#include "coinstaller/coinstaller_harness.h"

#include "tests/doubles/recording_trace/recording_trace.h"

// What the module wrote, as the recording trace library saw it.
namespace harness {

std::vector<TraceLine> TraceLines() {
    std::vector<TraceLine> lines;
    for (size_t i = 0; i < RecCallCount(); ++i) {
        RecCall call{};
        if (!RecGetCall(i, &call) || std::string(call.function) != "Write") continue;
        lines.push_back({call.level, call.category ? call.category : "", call.text ? call.text : ""});
    }
    return lines;
}

std::vector<std::string> CoInstallTexts() {
    std::vector<std::string> texts;
    for (const TraceLine& line : TraceLines()) {
        if (line.category == "TESK.CoInstall") texts.push_back(line.text);
    }
    return texts;
}

bool HasText(const std::string& text) {
    for (const TraceLine& line : TraceLines()) {
        if (line.text == text) return true;
    }
    return false;
}

int32_t LevelOf(const std::string& text) {
    for (const TraceLine& line : TraceLines()) {
        if (line.text == text) return line.level;
    }
    return -1;
}

}  // namespace harness
