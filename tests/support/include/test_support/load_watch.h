// Counts a module's calls of LoadLibraryA and GetModuleFileNameA, the two calls that mark the
// trace-system library's search and load (in import_hooks.cpp, over the same import patch as heap_watch).
#pragma once

#include <windows.h>

namespace load_watch {

bool Install(HMODULE module);
long LoadLibraryCalls();
long ModuleFileNameCalls();

}  // namespace load_watch
