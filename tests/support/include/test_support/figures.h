// Figures of the stress and performance programs ("figure <name> <value> <unit>" and "goal <name>
// met|MISSED", which scripts/run_campaign.sh collects), their length and seed from the environment, timing.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace test_support {

// The number in the environment variable, or `fallback` when it is unset or empty: one program
// serves the short run of `make test` and the long one of `make campaign`.
inline uint64_t SettingOr(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    return text == nullptr || *text == '\0' ? fallback : std::strtoull(text, nullptr, 0);
}

inline uint64_t CampaignSeed() { return SettingOr("TESK_CAMPAIGN_SEED", 20261206); }

// Flushed at once: a program that crashes later still leaves its figures to the campaign.
inline void Figure(const std::string& name, double value, const char* unit = "") {
    std::printf("figure %s %.15g %s\n", name.c_str(), value, unit), std::fflush(stdout);
}

inline void Goal(const char* name, bool met) { std::printf("goal %s %s\n", name, met ? "met" : "MISSED"), std::fflush(stdout); }

inline double Seconds() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

}  // namespace test_support
