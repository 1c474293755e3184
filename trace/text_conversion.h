#pragma once

#include <cstddef>

// Converts a wide text into a zero-filled narrow buffer of `capacity` bytes with wcstombs_s in
// truncating mode: at most capacity-1 characters survive, and a text holding a character the
// current locale cannot convert arrives empty.
void ConvertToNarrow(const wchar_t* source, char* buffer, std::size_t capacity) noexcept;

// The narrow twin of a constant wide text, made by the compiler so that no call converts it. ASCII
// only (a wider character fails the compilation): its conversion is then the identity in every
// locale, and the twin holds the same bytes that ConvertToNarrow would give.
template <std::size_t N>
struct NarrowLiteral {
    char text[N] = {};
    constexpr explicit NarrowLiteral(const wchar_t (&wide)[N]) {
        for (std::size_t i = 0; i < N; ++i) {
            text[i] = wide[i] < 0x80 ? static_cast<char>(wide[i]) : throw "a narrow twin holds ASCII only";
        }
    }
    constexpr const char* c_str() const noexcept { return text; }
};

// Capacities used throughout the trace facade.
constexpr std::size_t kCategoryCapacity = 128;
constexpr std::size_t kTextCapacity = 4096;
