// Replaces one imported function of a loaded module by rewriting its import address table, so a
// test can watch or fail the calls an unmodified DLL makes (for example into the C runtime).
#pragma once

#include <windows.h>

// Returns the previous target, or null when the module does not import that function by name.
void* PatchImport(HMODULE module, const char* importedDll, const char* function, void* replacement);

// The C runtime's heap functions as a module imports them.
struct CrtHeapFunctions {
    void*(__cdecl* malloc)(size_t);
    void*(__cdecl* calloc)(size_t, size_t);
    void*(__cdecl* realloc)(void*, size_t);
    void(__cdecl* free)(void*);
};

// Routes the module's msvcrt heap calls to `replacements` and returns the functions they went to
// before (the C runtime's own for calloc and realloc when the module does not import them).
// False when the module imports no malloc or free.
bool PatchCrtHeap(HMODULE module, const CrtHeapFunctions& replacements, CrtHeapFunctions& previous);
