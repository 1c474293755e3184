// The configuration an administrator sets without code: the values of
// HKLM\SOFTWARE\Korvan Mirel Compact\KvTraceHub in the 32-bit registry view.
#pragma once

#include "tracehub/trace_settings.h"

namespace kvtrace {

constexpr char kRegistryKey[] = "SOFTWARE\\Korvan Mirel Compact\\KvTraceHub";

// Fresh settings from the registry; a missing key gives the defaults. Values of the wrong type or
// length are noted on the debugger output and skipped; the result is false when any was skipped.
bool ReadRegistrySettings(TraceSettings& settings);

}  // namespace kvtrace
