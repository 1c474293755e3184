// The lines KvTraceHub001.dll appends to its file: "time<TAB>pid<TAB>tid<TAB>LEVEL<TAB>category<TAB>text"
// ended by CR LF, text bytes in Windows-1252. Read as they grow, one request at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct TraceLine {
    std::string line;  // the whole line as written, in UTF-8
    std::string level;
    std::string category;
    std::string text;
};

// Takes the complete lines out of *pending (bytes read so far) and leaves an unfinished one there.
std::vector<TraceLine> TakeTraceLines(std::string* pending);

class TraceFileReader {
public:
    explicit TraceFileReader(std::wstring path) : path_(std::move(path)) {}
    // Lines appended since the last call; none while the file does not exist.
    std::vector<TraceLine> ReadNew();

private:
    std::wstring path_;
    uint64_t offset_ = 0;
    std::string pending_;
};

}  // namespace bench
