// Timing, the figure lines the performance program prints ("figure <name> <value> <unit>") and
// its goals ("goal <name> met|MISSED"), which scripts/run_campaign.sh copies into
// docs/robustness.md, and the program's modes.
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

// A timed goal is reported, never fails the run: the machine is shared with other work.
inline void Goal(const char* name, bool met) {
    std::printf("goal %s %s\n", name, met ? "met" : "MISSED");
    std::fflush(stdout);
}

// Each mode prints its figures and returns the exit code: 0 unless an untimed goal failed.
int TraceCallBenchmark(uint64_t calls);
int IgnoredRequestBenchmark(uint64_t calls);
// `label` names the layout the process was started in ("service", "no_library", ...).
int FirstCallBenchmark(const char* label);
int GetterBenchmark(uint64_t calls);
int HubWriteBenchmark(uint64_t lines);

}  // namespace bench
