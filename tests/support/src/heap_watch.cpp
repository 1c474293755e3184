#include "test_support/heap_watch.h"

#include "test_support/import_patch.h"

#include <atomic>
#include <cstdlib>

namespace heap_watch {
namespace {

CrtHeapFunctions g_crt{};

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
    void* block = g_crt.malloc(size);
    if (block != nullptr) ++g_allocations;
    return block;
}

void* __cdecl WatchedCalloc(size_t count, size_t size) {
    if (ShouldFail(count * size)) return nullptr;
    void* block = g_crt.calloc(count, size);
    if (block != nullptr) ++g_allocations;
    return block;
}

void* __cdecl WatchedRealloc(void* old, size_t size) {
    if (ShouldFail(size)) return nullptr;
    void* block = g_crt.realloc(old, size);
    if (old == nullptr && block != nullptr) ++g_allocations;
    if (old != nullptr && size == 0) ++g_frees;
    return block;
}

void __cdecl WatchedFree(void* block) {
    if (block != nullptr) ++g_frees;
    g_crt.free(block);
}

}  // namespace

bool Install(HMODULE module) {
    return PatchCrtHeap(module, CrtHeapFunctions{&WatchedMalloc, &WatchedCalloc, &WatchedRealloc, &WatchedFree}, g_crt);
}

Counts Snapshot() { return Counts{g_allocations.load(), g_frees.load()}; }

void FailNthAllocation(int64_t n) { g_failCountdown.store(n); }

void FailNextAllocationOfSize(size_t size) { g_failSize.store(size); }

}  // namespace heap_watch
