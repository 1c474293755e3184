// Ledger of one module's live heap blocks, kept through its C runtime imports: which blocks it
// holds, of what size, and every free of a block it does not hold (a double or foreign free).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace module_heap {

// Hooks malloc, calloc, realloc and free of `module` on top of whatever hooks it already has
// (heap_watch's counting stays intact). Call once per loaded module.
bool Install(HMODULE module);

// Blocks the module holds now.
size_t LiveBlocks();
// Size of a block the module holds, or 0 when it holds no block at that address.
size_t LiveSize(const void* block);
// Watches a block the module holds: its release is counted, even if the address is handed out
// again afterwards. Returns false when the module holds no block there.
bool Watch(const void* block);
// How often the watched block was released since Watch (0 or 1: a second free of the address is
// a foreign free, as the block is no longer held).
int64_t ReleasesOf(const void* block);
// Frees of addresses the module did not hold (double frees, frees of foreign pointers).
int64_t ForeignFrees();

}  // namespace module_heap
