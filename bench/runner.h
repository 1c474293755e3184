// Plays one scenario file against a co-installer module and prints the report.
#pragma once

#include <cstdio>
#include <string>

namespace bench {

struct RunPaths {
    std::wstring scenario;
    std::wstring module;        // the co-installer to load (copied unchanged into the work directory)
    std::wstring traceLibrary;  // KvTraceHub001.dll to put beside it; empty: the one beside the module
    std::wstring work;          // the scenario's own directory: module copy, trace library, trace file
};

enum ExitCode { kPassed = 0, kNotMet = 1, kBadInput = 2 };

ExitCode Run(const RunPaths& paths, std::FILE* out, std::FILE* err);

}  // namespace bench
