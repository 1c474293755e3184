// Timing and the figure lines the benchmark program prints ("figure <name> <value> <unit>"),
// which campaign/run_campaign.sh copies into docs/robustness.md.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>

namespace bench {

inline double Seconds() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

// Nanoseconds per call of `body` over `calls` calls, the best of `repeats` runs: the least
// disturbed run on a machine shared with other work.
template <typename Body>
double BestNanosecondsPerCall(uint64_t calls, int repeats, Body body) {
    double best = 0;
    for (int r = 0; r < repeats; ++r) {
        const double start = Seconds();
        for (uint64_t i = 0; i < calls; ++i) body(i);
        const double perCall = (Seconds() - start) * 1e9 / static_cast<double>(calls);
        if (r == 0 || perCall < best) best = perCall;
    }
    return best;
}

inline void Figure(const char* name, double value, const char* unit) {
    std::printf("figure %s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

}  // namespace bench
