#include "bench/trace_file.h"

#include "bench/text.h"
#include "platform/unique_resource.h"

#include <windows.h>

namespace bench {

std::vector<TraceLine> TakeTraceLines(std::string* pending) {
    std::vector<TraceLine> lines;
    size_t start = 0;
    for (size_t end; (end = pending->find("\r\n", start)) != std::string::npos; start = end + 2) {
        TraceLine line;
        line.line = Utf8FromWindows1252(pending->substr(start, end - start));
        // A script splits at the first five tabs; the text itself may hold more.
        std::string fields[6];
        size_t from = 0;
        int field = 0;
        for (; field < 5; ++field) {
            const size_t tab = line.line.find('\t', from);
            if (tab == std::string::npos) break;
            fields[field] = line.line.substr(from, tab - from);
            from = tab + 1;
        }
        if (field == 5) {
            line.level = fields[3];
            line.category = fields[4];
            line.text = line.line.substr(from);
        } else {
            line.text = line.line;
        }
        lines.push_back(std::move(line));
    }
    pending->erase(0, start);
    return lines;
}

std::vector<TraceLine> TraceFileReader::ReadNew() {
    tesk::UniqueHfile file(::CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset_);
    if (!::SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN)) return {};
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        pending_.append(buffer, read);
        offset_ += read;
    }
    return TakeTraceLines(&pending_);
}

}  // namespace bench
