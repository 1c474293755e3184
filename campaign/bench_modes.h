// The benchmarks of the campaign program; each prints its figures and returns the exit code.
#pragma once

#include <cstdint>

namespace bench {

int TraceCallBenchmark(uint64_t calls);
int IgnoredRequestBenchmark(uint64_t calls);
// `label` names the configuration the process was started in ("service", "no_service").
int FirstCallBenchmark(const char* label);
int GetterBenchmark(uint64_t calls);

}  // namespace bench
