// Counts a module's calls of LoadLibraryA and GetModuleFileNameA, the two calls that mark the
// trace-system library's search and load (implemented beside heap_watch, over the same import patch).
#pragma once

#include <windows.h>

namespace load_watch {

bool Install(HMODULE module);
long LoadLibraryCalls();
long ModuleFileNameCalls();

}  // namespace load_watch
