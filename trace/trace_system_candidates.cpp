#include "trace/trace_system_candidates.h"

#include "contracts/trace_system_contract.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Rooted at a drive ("C:\") or a share ("\\server\").
bool IsFullDirectory(const std::string& d) {
    return (d.size() >= 2 && IsSeparator(d[0]) && IsSeparator(d[1])) ||
           (d.size() >= 3 && IsDriveLetter(d[0]) && d[1] == ':' && IsSeparator(d[2]));
}

}  // namespace

std::string _TraceSystemPathIn(const std::string& directory) {
    return IsFullDirectory(directory) ? directory + kTraceSystemFileName : std::string();
}
