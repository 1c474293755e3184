#include "trace/trace_system_search.h"

#include "dirlib/locbase.h"
#include "dirlib/path_helpers.h"
#include "contracts/trace_system_contract.h"

namespace {

// The trace component, whose program directory holds the library.
constexpr char kTraceComponent[] = "X0000302";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Rooted at a drive ("C:\") or a share ("\\server\"). An empty or relative directory would make
// the candidate a bare or relative name, resolved against the current directory and, by
// LoadLibraryA, the system's search order.
bool IsFullDirectory(const std::string& d) {
    return (d.size() >= 2 && IsSeparator(d[0]) && IsSeparator(d[1])) ||
           (d.size() >= 3 && IsDriveLetter(d[0]) && d[1] == ':' && IsSeparator(d[2]));
}

// The library's full path in `directory`, or empty when the directory is no full path or lacks it.
std::string LibraryIn(const std::string& directory) {
    if (!IsFullDirectory(directory)) return std::string();
    std::string path = directory + kTraceSystemFileName;
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
