// perf_bench <mode> [count or label]: one benchmark per process, since the trace binding and the
// directory library keep their state for the life of the process.
#include "perf_figures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: perf_bench trace-call|request|first-call|getters|hub-write [count or label]\n");
        return 2;
    }
    const char* mode = argv[1];
    const char* argument = argc > 2 ? argv[2] : "";
    const uint64_t count = *argument != '\0' ? std::strtoull(argument, nullptr, 0) : 100000;
    if (std::strcmp(mode, "trace-call") == 0) return bench::TraceCallBenchmark(count);
    if (std::strcmp(mode, "request") == 0) return bench::IgnoredRequestBenchmark(count);
    if (std::strcmp(mode, "first-call") == 0) return bench::FirstCallBenchmark(*argument ? argument : "default");
    if (std::strcmp(mode, "getters") == 0) return bench::GetterBenchmark(count);
    if (std::strcmp(mode, "hub-write") == 0) return bench::HubWriteBenchmark(count);
    std::printf("unknown mode %s\n", mode);
    return 2;
}
