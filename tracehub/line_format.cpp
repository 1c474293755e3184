#include "tracehub/line_format.h"

#include <cstring>

namespace kvtrace {

namespace {

const char kHex[] = "0123456789ABCDEF";

char* PutDigits(char* out, unsigned value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return out + width;
}

char* PutNumber(char* out, int64_t value) {
    if (value < 0) {
        *out++ = '-';
        value = -value;
    }
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) *out++ = digits[--count];
    return out;
}

std::string_view LevelName(int32_t level) {
    switch (level) {
        case 1:
            return "CRITICAL";
        case 2:
            return "ERROR";
        case 4:
            return "WARNING";
        case 8:
            return "INFO";
        case 16:
            return "DETAIL";
        default:
            return {};
    }
}

// Copies at most limit bytes; CR and LF (and, where tabs separate fields, tabs) become spaces.
char* PutClean(char* out, std::string_view text, size_t limit, bool keepTabs) {
    const size_t count = text.size() < limit ? text.size() : limit;
    for (size_t i = 0; i < count; ++i) {
        const char c = text[i];
        *out++ = (c == '\r' || c == '\n' || (c == '\t' && !keepTabs)) ? ' ' : c;
    }
    return out;
}

std::string_view Bounded(const char* text, size_t limit) {
    return text ? std::string_view(text, strnlen(text, limit)) : std::string_view();
}

char* PutPrefix(char* out, const LineStamp& stamp, std::string_view category) {
    const SYSTEMTIME& t = stamp.time;
    out = PutDigits(out, t.wYear, 4);
    *out++ = '-';
    out = PutDigits(out, t.wMonth, 2);
    *out++ = '-';
    out = PutDigits(out, t.wDay, 2);
    *out++ = ' ';
    out = PutDigits(out, t.wHour, 2);
    *out++ = ':';
    out = PutDigits(out, t.wMinute, 2);
    *out++ = ':';
    out = PutDigits(out, t.wSecond, 2);
    *out++ = '.';
    out = PutDigits(out, t.wMilliseconds, 3);
    *out++ = '\t';
    out = PutNumber(out, stamp.processId);
    *out++ = '\t';
    out = PutNumber(out, stamp.threadId);
    *out++ = '\t';
    const std::string_view name = LevelName(stamp.level);
    if (name.empty()) {
        memcpy(out, "LEVEL", 5);
        out = PutNumber(out + 5, stamp.level);
    } else {
        memcpy(out, name.data(), name.size());
        out += name.size();
    }
    *out++ = '\t';
    out = PutClean(out, category, kMaxNameLength, false);
    *out++ = '\t';
    return out;
}

void AppendHexLine(std::string& block, std::string_view prefix, const unsigned char* bytes, uint32_t offset,
                   uint32_t count) {
    char line[96];
    char* out = line;
    for (int shift = 28; shift >= 0; shift -= 4) *out++ = kHex[(offset >> shift) & 0xF];
    *out++ = ' ';
    for (uint32_t i = 0; i < 16; ++i) {
        *out++ = ' ';
        if (i == 8) *out++ = ' ';
        if (i < count) {
            *out++ = kHex[bytes[i] >> 4];
            *out++ = kHex[bytes[i] & 0xF];
        } else {
            *out++ = ' ';
            *out++ = ' ';
        }
    }
    *out++ = ' ';
    *out++ = ' ';
    *out++ = '|';
    for (uint32_t i = 0; i < count; ++i)
        *out++ = (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? static_cast<char>(bytes[i]) : '.';
    *out++ = '|';
    block.append(prefix);
    block.append(line, out);
    block.append("\r\n");
}

}  // namespace

LineStamp StampNow(int32_t level) {
    LineStamp stamp;
    ::GetLocalTime(&stamp.time);
    stamp.processId = ::GetCurrentProcessId();
    stamp.threadId = ::GetCurrentThreadId();
    stamp.level = level;
    return stamp;
}

std::string FormatOrigin(const char* sourceFile, int32_t sourceLine, const char* function) {
    std::string origin;
    const std::string_view file = Bounded(sourceFile, kMaxTextLength);
    const std::string_view func = Bounded(function, kMaxTextLength);
    if (!file.empty()) {
        origin.append(file);
        origin += '(';
        char digits[16];
        origin.append(digits, PutNumber(digits, sourceLine));
        origin += ')';
    }
    if (!func.empty()) {
        if (!origin.empty()) origin += ' ';
        origin.append(func);
    }
    if (!origin.empty()) origin += ": ";
    return origin;
}

size_t FormatLine(char* out, const LineStamp& stamp, std::string_view category, std::string_view origin,
                  const char* text) {
    char* const start = out;
    out = PutPrefix(out, stamp, category);
    size_t budget = kMaxTextLength;
    const size_t originSize = origin.size() < budget ? origin.size() : budget;
    out = PutClean(out, origin, originSize, true);
    budget -= originSize;
    out = PutClean(out, Bounded(text, budget), budget, true);
    *out++ = '\r';
    *out++ = '\n';
    *out = '\0';
    return static_cast<size_t>(out - start);
}

std::string FormatDump(const LineStamp& stamp, std::string_view category, std::string_view origin, const char* title,
                       const char* name, const void* data, uint32_t size) {
    char prefixBuffer[kMaxPrefixLength];
    const std::string_view prefix(prefixBuffer,
                                  static_cast<size_t>(PutPrefix(prefixBuffer, stamp, category) - prefixBuffer));
    const uint32_t shown = size < kMaxDumpBytes ? size : kMaxDumpBytes;

    std::string block;
    block.reserve((prefix.size() + 80) * (shown / 16 + 3) + kMaxTextLength);
    std::string header(origin);
    header += "Dump ";
    header.append(Bounded(title, kMaxTextLength));
    header += ' ';
    header.append(Bounded(name, kMaxNameLength));
    header += ", ";
    char digits[16];
    header.append(digits, PutNumber(digits, size));
    header += " bytes";
    block.append(prefix);
    char line[kMaxTextLength + 1];
    block.append(line, PutClean(line, header, kMaxTextLength, true));
    block.append("\r\n");

    const auto* bytes = static_cast<const unsigned char*>(data);
    for (uint32_t offset = 0; offset < shown; offset += 16) {
        AppendHexLine(block, prefix, bytes + offset, offset, shown - offset < 16 ? shown - offset : 16);
    }
    if (shown < size) {
        block.append(prefix);
        block += '(';
        block.append(digits, PutNumber(digits, size - shown));
        block.append(" more bytes not shown)\r\n");
    }
    return block;
}

}  // namespace kvtrace
