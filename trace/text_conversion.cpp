#include "trace/text_conversion.h"

#include <cstdlib>
#include <cstring>

void ConvertToNarrow(const wchar_t* source, char* buffer, std::size_t capacity) noexcept {
    std::memset(buffer, 0, capacity);
    std::size_t converted = 0;
    wcstombs_s(&converted, buffer, capacity, source, _TRUNCATE);
}
