// Length and seed of a campaign run, from the environment so that one program serves the short
// run of `make test` and the long one of `make campaign`.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

namespace campaign {

inline uint64_t SettingOr(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    return std::strtoull(text, nullptr, 0);
}

}  // namespace campaign
