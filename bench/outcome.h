// What one request did: each CoDeviceInstall call with what it caused at the platform boundary,
// and the state of the scenario's devices afterwards.
#pragma once

#include "bench/trace_file.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

struct TextLogLine {
    DWORD category = 0;
    DWORD level = 0;
    bool hasError = false;
    DWORD error = 0;
    std::string message;  // UTF-8
};

struct CallRecord {
    bool postProcessing = false;
    DWORD installResult = 0;
    ULONG_PTR privateData = 0;  // as handed to the call
    DWORD result = 0;
    std::vector<std::string> setupApiCalls;  // "Function(arguments)", injected failures marked
    std::vector<std::string> setupApiFunctions;  // the function names alone, in the same order
    std::vector<TextLogLine> textLog;
    std::vector<TraceLine> trace;
};

struct DeviceState {
    bool present = false;
    DWORD flags = 0;
    DWORD flagsEx = 0;
};

struct RequestOutcome {
    std::vector<CallRecord> calls;  // the pre-processing call, then the post-processing call if any
    std::map<std::string, DeviceState> devices;  // by scenario name, after the request
};

}  // namespace bench
