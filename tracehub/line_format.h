// The output format, one line per message, tab-separated so that scripts can split it:
//   2026-12-06 15:10:17.123<TAB>1234<TAB>5678<TAB>INFO<TAB>TESK.CoInstall<TAB>text<CR><LF>
// Texts keep their bytes as they came; only CR and LF become spaces, so a message stays one line.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kvtrace {

constexpr size_t kMaxTextLength = 4095;
constexpr size_t kMaxNameLength = 127;
// Larger dumps show their first 64 KiB and say how much was left out.
constexpr uint32_t kMaxDumpBytes = 64 * 1024;
constexpr size_t kMaxPrefixLength = 96 + 127;
// Prefix, text, CR LF and the terminating NUL.
constexpr size_t kLineCapacity = kMaxPrefixLength + kMaxTextLength + 3;

struct LineStamp {
    SYSTEMTIME time;
    DWORD processId;
    DWORD threadId;
    int32_t level;
};

LineStamp StampNow(int32_t level);

// Where a message came from: "file(line) function: ", empty when nothing is known.
std::string FormatOrigin(const char* sourceFile, int32_t sourceLine, const char* function);

// Writes one NUL-terminated line into out (kLineCapacity bytes); returns its length. The origin
// and the text share the text's 4095 bytes.
size_t FormatLine(char* out, const LineStamp& stamp, std::string_view category, std::string_view origin,
                  const char* text);

// A header line "<origin>Dump <title> <name>, <size> bytes" and 16 bytes a line of hex and
// printable characters, as one block for a single write.
std::string FormatDump(const LineStamp& stamp, std::string_view category, std::string_view origin, const char* title,
                       const char* name, const void* data, uint32_t size);

}  // namespace kvtrace
