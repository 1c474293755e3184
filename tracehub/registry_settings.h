// The configuration an administrator sets without code: the values of
// HKLM\SOFTWARE\Korvan Mirel Compact\KvTraceHub in the 32-bit registry view.
#pragma once

#include "tracehub/debug_note.h"
#include "tracehub/trace_settings.h"

#include <functional>
#include <string_view>

namespace kvtrace {

constexpr char kRegistryKey[] = "SOFTWARE\\Korvan Mirel Compact\\KvTraceHub";

using NoteSink = std::function<void(std::string_view)>;

// Fresh settings from the registry; a missing key gives the defaults. Values of the wrong type or
// length are skipped with a note (by default to the debugger output); the result is false when any
// was skipped.
bool ReadRegistrySettings(TraceSettings& settings, const NoteSink& note = DebugNote);

}  // namespace kvtrace
