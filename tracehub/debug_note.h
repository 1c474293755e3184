// Notes about the library's own trouble (bad configuration, unusable files) go to the debugger
// output: the trace files themselves may be what is broken.
#pragma once

#include <string_view>

namespace kvtrace {

void DebugNote(std::string_view what);

}  // namespace kvtrace
