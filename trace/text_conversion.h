#pragma once

#include <cstddef>

// Converts a wide text into a zero-filled narrow buffer of `capacity` bytes with wcstombs_s in
// truncating mode: at most capacity-1 characters survive, and a text holding a character the
// current locale cannot convert arrives empty.
void ConvertToNarrow(const wchar_t* source, char* buffer, std::size_t capacity) noexcept;

// Capacities used throughout the trace facade.
constexpr std::size_t kCategoryCapacity = 128;
constexpr std::size_t kTextCapacity = 4096;
