#include "trace/trace_system_search.h"

#include "dirlib/locbase.h"
#include "dirlib/path_helpers.h"
#include "trace/trace_system_candidates.h"

namespace {

// The library's full path in `directory`, or empty when the directory is no full path or lacks it.
std::string LibraryIn(const std::string& directory) {
    std::string path = _TraceSystemPathIn(directory);
    return _PathExists(path) ? path : std::string();
}

}  // namespace

std::string _ResolveTraceSystemPath() {
    // Each candidate is asked for only when the earlier ones do not hold the file.
    std::string path = LibraryIn(LBS_GetProgDir(kTraceComponent, false));
    if (path.empty()) path = LibraryIn(_GetModuleDir(nullptr));
    if (path.empty()) path = LibraryIn(LBS_GetThisDllDir());
    return path;
}
