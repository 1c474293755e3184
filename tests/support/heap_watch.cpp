#include "support/heap_watch.h"

#include "support/import_patch.h"

#include <atomic>
#include <cstdlib>

namespace heap_watch {
namespace {

using MallocFn = void*(__cdecl*)(size_t);
using CallocFn = void*(__cdecl*)(size_t, size_t);
using ReallocFn = void*(__cdecl*)(void*, size_t);
using FreeFn = void(__cdecl*)(void*);

MallocFn g_malloc = nullptr;
CallocFn g_calloc = nullptr;
ReallocFn g_realloc = nullptr;
FreeFn g_free = nullptr;

std::atomic<int64_t> g_allocations{0};
std::atomic<int64_t> g_frees{0};
std::atomic<int64_t> g_failCountdown{0};
std::atomic<size_t> g_failSize{0};

// True when this allocation is the one chosen to fail.
bool ShouldFail(size_t size) {
    size_t chosenSize = size;
    if (size != 0 && g_failSize.compare_exchange_strong(chosenSize, 0)) return true;
    int64_t remaining = g_failCountdown.load();
    while (remaining > 0) {
        if (g_failCountdown.compare_exchange_weak(remaining, remaining - 1)) return remaining == 1;
    }
    return false;
}

void* __cdecl WatchedMalloc(size_t size) {
    if (ShouldFail(size)) return nullptr;
    void* block = g_malloc(size);
    if (block != nullptr) ++g_allocations;
    return block;
}

void* __cdecl WatchedCalloc(size_t count, size_t size) {
    if (ShouldFail(count * size)) return nullptr;
    void* block = g_calloc(count, size);
    if (block != nullptr) ++g_allocations;
    return block;
}

void* __cdecl WatchedRealloc(void* old, size_t size) {
    if (ShouldFail(size)) return nullptr;
    void* block = g_realloc(old, size);
    if (old == nullptr && block != nullptr) ++g_allocations;
    if (old != nullptr && size == 0) ++g_frees;
    return block;
}

void __cdecl WatchedFree(void* block) {
    if (block != nullptr) ++g_frees;
    g_free(block);
}

}  // namespace

bool Install(HMODULE module) {
    g_malloc = reinterpret_cast<MallocFn>(PatchImport(module, "msvcrt.dll", "malloc", reinterpret_cast<void*>(&WatchedMalloc)));
    g_calloc = reinterpret_cast<CallocFn>(PatchImport(module, "msvcrt.dll", "calloc", reinterpret_cast<void*>(&WatchedCalloc)));
    g_realloc =
        reinterpret_cast<ReallocFn>(PatchImport(module, "msvcrt.dll", "realloc", reinterpret_cast<void*>(&WatchedRealloc)));
    g_free = reinterpret_cast<FreeFn>(PatchImport(module, "msvcrt.dll", "free", reinterpret_cast<void*>(&WatchedFree)));
    // calloc and realloc may be absent from a module's imports; malloc and free never are.
    if (g_calloc == nullptr) g_calloc = &std::calloc;
    if (g_realloc == nullptr) g_realloc = &std::realloc;
    return g_malloc != nullptr && g_free != nullptr;
}

Counts Snapshot() { return Counts{g_allocations.load(), g_frees.load()}; }

void FailNthAllocation(int64_t n) { g_failCountdown.store(n); }

void FailNextAllocationOfSize(size_t size) { g_failSize.store(size); }

}  // namespace heap_watch
