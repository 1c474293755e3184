// printf-style formatting with the platform's own conventions ("%S" takes a wide string). The
// mingw headers route the standard names to C99 formatting, so the msvcrt entry points are named.
#pragma once

#include <cstdarg>
#include <cstddef>

// Length of the formatted text without its terminator, or -1 when the format fails.
int _FormattedLength(const char* format, va_list args);

// Formats into buffer, which must hold the measured length plus a terminator.
void _FormatInto(char* buffer, std::size_t size, const char* format, va_list args);
