#include "test_support/trace_library.h"

#include "test_support/files.h"

namespace test_support {

const TraceLibrary* TraceLibraryBesideProgram() {
    static const TraceLibrary* const bound = [] {
        static TraceLibrary library;
        return BindTraceLibrary(::LoadLibraryA(kTraceSystemFileName), library) ? &library : nullptr;
    }();
    return bound;
}

std::vector<std::vector<std::string>> ReadTraceLines(const std::string& path) {
    std::vector<std::vector<std::string>> lines;
    for (std::string line : SplitLines(ReadFileBytes(path))) {
        line = !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line + "<torn>";
        std::vector<std::string> fields;
        size_t from = 0;
        for (size_t tab; fields.size() < 5 && (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
            fields.push_back(line.substr(from, tab - from));
        fields.push_back(line.substr(from));
        lines.push_back(fields);
    }
    return lines;
}

std::vector<std::string> TraceTexts(const std::string& path) {
    std::vector<std::string> texts;
    for (const auto& line : ReadTraceLines(path)) texts.push_back(line.back());
    return texts;
}

}  // namespace test_support
