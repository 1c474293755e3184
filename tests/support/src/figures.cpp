#include "test_support/figures.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace test_support {

uint64_t SettingOr(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    return text == nullptr || *text == '\0' ? fallback : std::strtoull(text, nullptr, 0);
}

uint64_t CampaignSeed() { return SettingOr("TESK_CAMPAIGN_SEED", 20261206); }

void Figure(const std::string& name, double value, const char* unit) {
    std::printf("figure %s %.15g %s\n", name.c_str(), value, unit);
    std::fflush(stdout);
}

void Goal(const char* name, bool met) {
    std::printf("goal %s %s\n", name, met ? "met" : "MISSED");
    std::fflush(stdout);
}

double Seconds() {
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string ThisProgram() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

}  // namespace test_support
