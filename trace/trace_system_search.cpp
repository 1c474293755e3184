#include "trace/trace_system_search.h"

#include "dirlib/locbase.h"
#include "dirlib/path_helpers.h"
#include "contracts/trace_system_contract.h"

namespace {

// The trace component, whose program directory holds the library.
constexpr char kTraceComponent[] = "X0000302";

}  // namespace

std::string _ResolveTraceSystemPath() {
    // Always a full path: a bare name would let the system search order pick a stranger's copy.
    // Each candidate is asked for only when the earlier ones do not hold the file.
    const std::string inProgramDir = LBS_GetProgDir(kTraceComponent, false) + kTraceSystemFileName;
    if (_PathExists(inProgramDir)) return inProgramDir;
    const std::string besideHost = _GetModuleDir(nullptr) + kTraceSystemFileName;
    if (_PathExists(besideHost)) return besideHost;
    const std::string besideModule = LBS_GetThisDllDir() + kTraceSystemFileName;
    if (_PathExists(besideModule)) return besideModule;
    return std::string();
}
