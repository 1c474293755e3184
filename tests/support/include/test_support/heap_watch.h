// Counts, keeps a ledger of and fails the heap allocations of one loaded module by rewriting its
// import address table. Every operator new and delete of a DLL linked with the static C++ runtime
// ends in msvcrt's malloc and free, so these counts cover the module's own allocations and nothing else.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace heap_watch {

// Hooks malloc, calloc, realloc and free of `module`; call once per module.
bool Install(HMODULE module);

struct Counts {
    int64_t allocations;  // successful malloc, calloc and realloc(nullptr, n)
    int64_t frees;        // free of a non-null pointer
};
Counts Snapshot();

// The next allocation of exactly `size` bytes fails and returns null; 0 turns failing off.
void FailNextAllocationOfSize(size_t size);

// The ledger: blocks the module holds now, the size of one (0 when it holds none there), and
// frees of addresses it did not hold (double or foreign frees).
size_t LiveBlocks();
size_t LiveSize(const void* block);
int64_t ForeignFrees();

}  // namespace heap_watch
