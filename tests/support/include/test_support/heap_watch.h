// Counts and fails the heap allocations of one loaded module through its C runtime imports.
// Every operator new and delete of a DLL linked with the static C++ runtime ends in msvcrt's
// malloc and free, so these counts cover the module's own allocations and nothing else.
#pragma once

#include <windows.h>

#include <cstdint>

namespace heap_watch {

// Hooks malloc, calloc, realloc and free of `module`; call once per module.
bool Install(HMODULE module);

struct Counts {
    int64_t allocations;  // successful malloc, calloc and realloc(nullptr, n)
    int64_t frees;        // free of a non-null pointer
};
Counts Snapshot();

// From the next allocation on, the n-th (1-based) fails and returns null; 0 turns failing off.
void FailNthAllocation(int64_t n);

// The next allocation of exactly `size` bytes fails and returns null; 0 turns failing off.
void FailNextAllocationOfSize(size_t size);

}  // namespace heap_watch
