// Length and seed of a stress run from the environment: one program serves the short run of
// `make test` and the long one of `make campaign`. Figures go out as "name value" lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

inline uint64_t SettingOr(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    return text == nullptr || *text == '\0' ? fallback : std::strtoull(text, nullptr, 0);
}

inline uint64_t Seed() { return SettingOr("TESK_CAMPAIGN_SEED", 20261206); }

using Figures = std::vector<std::pair<std::string, double>>;

inline void PrintFigures(const Figures& figures) {
    for (const auto& [name, value] : figures) std::printf("%s %.15g\n", name.c_str(), value);
}
