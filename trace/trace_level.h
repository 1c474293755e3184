#pragma once

#include <cstdint>

// Smaller is more important; the trace system decides from its configuration what is written.
enum class TraceLevel : int32_t {
    Critical = 1,
    Error = 2,
    Warning = 4,
    Info = 8,
    Detail = 16,
};
