// Replaces one imported function of a loaded module by rewriting its import address table, so a
// test can watch or fail the calls an unmodified DLL makes (for example into the C runtime).
#pragma once

#include <windows.h>

// Returns the previous target, or null when the module does not import that function by name.
void* PatchImport(HMODULE module, const char* importedDll, const char* function, void* replacement);
