#include "dirlib/ms_format.h"

#include <cstdio>

int _FormattedLength(const char* format, va_list args) {
    if (format == nullptr) return -1;
    va_list copy;
    va_copy(copy, args);
    const int length = ::_vscprintf(format, copy);
    va_end(copy);
    return length;
}

void _FormatInto(char* buffer, std::size_t size, const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    ::_vsnprintf(buffer, size, format, copy);
    va_end(copy);
    buffer[size - 1] = '\0';
}
