// The bench's report, plain UTF-8 text for a terminal: what was set up, and for every request the
// calls, their results, the text-log entries, the trace lines and whether the expectations held.
#pragma once

#include "bench/expectations.h"
#include "bench/outcome.h"
#include "bench/scenario.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {

struct RunSetting {
    std::string scenarioPath;
    std::string modulePath;        // the copy that was loaded
    std::string moduleSource;      // where it was copied from
    std::string traceLibrary;      // the copy beside the module, empty without one
    std::string traceFile;
};

class Report {
public:
    explicit Report(std::FILE* out) : out_(out) {}

    void Header(const Scenario& scenario, const RunSetting& setting);
    void Tree(const char* heading, const Scenario& scenario, const std::map<std::string, DeviceState>& devices);
    void Request(size_t number, const bench::Request& request, const RequestOutcome& outcome, const std::vector<Verdict>& verdicts);
    // A difference found outside any expectation line (a request that could not be made, a trace
    // library where none should be).
    void Problem(const std::string& text);
    // Prints the closing lines; returns true when everything expected was found.
    bool Summary();

private:
    void Call(const CallRecord& call, const bench::Request& request);

    std::FILE* out_;
    bool traceLibrary_ = false;
    size_t met_ = 0;
    std::vector<std::string> failures_;
};

}  // namespace bench
