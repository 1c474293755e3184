#include "trace/trace_system_search.h"

#include "dirlib/path_helpers.h"
#include "trace/trace_system_contract.h"

std::string _ResolveTraceSystemPath() {
    // Always a full path: a bare name would let the system search order pick a stranger's copy.
    const std::string besideHost = _GetModuleDir(nullptr) + kTraceSystemFileName;
    if (_PathExists(besideHost)) return besideHost;
    return std::string();
}
