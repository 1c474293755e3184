#include "test_support/heap_watch.h"

#include "test_support/import_patch.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <unordered_map>

namespace heap_watch {
namespace {

CrtHeapFunctions g_crt{};

std::atomic<int64_t> g_allocations{0};
std::atomic<int64_t> g_frees{0};
std::atomic<int64_t> g_failCountdown{0};
std::atomic<size_t> g_failSize{0};

// The ledger lives in the program's heap, which the module's hooks never see.
std::mutex g_ledgerMutex;
std::unordered_map<const void*, size_t> g_live;
std::unordered_map<const void*, bool> g_watched;  // address -> freed since Watch
int64_t g_foreignFrees = 0;

void Allocated(const void* block, size_t size) {
    ++g_allocations;
    std::lock_guard<std::mutex> lock(g_ledgerMutex);
    g_live[block] = size;
}

// Booked before the block goes back: once freed, its address may be handed out on another thread.
void Freed(const void* block) {
    ++g_frees;
    std::lock_guard<std::mutex> lock(g_ledgerMutex);
    if (g_live.erase(block) == 0) {
        ++g_foreignFrees;
    } else if (const auto watched = g_watched.find(block); watched != g_watched.end()) {
        watched->second = true;
    }
}

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
    if (block != nullptr) Allocated(block, size);
    return block;
}

void* __cdecl WatchedCalloc(size_t count, size_t size) {
    if (ShouldFail(count * size)) return nullptr;
    void* block = g_crt.calloc(count, size);
    if (block != nullptr) Allocated(block, count * size);
    return block;
}

void* __cdecl WatchedRealloc(void* old, size_t size) {
    if (ShouldFail(size)) return nullptr;
    void* block = g_crt.realloc(old, size);
    if (old != nullptr && (block != nullptr || size == 0)) {
        Freed(old);
        if (block != nullptr) --g_frees;  // a move, not a free: only the ledger changes
    }
    if (block != nullptr) {
        Allocated(block, size);
        if (old != nullptr) --g_allocations;
    }
    return block;
}

void __cdecl WatchedFree(void* block) {
    if (block != nullptr) Freed(block);
    g_crt.free(block);
}

}  // namespace

bool Install(HMODULE module) {
    return PatchCrtHeap(module, CrtHeapFunctions{&WatchedMalloc, &WatchedCalloc, &WatchedRealloc, &WatchedFree}, g_crt);
}

Counts Snapshot() { return Counts{g_allocations.load(), g_frees.load()}; }

void FailNthAllocation(int64_t n) { g_failCountdown.store(n); }

void FailNextAllocationOfSize(size_t size) { g_failSize.store(size); }

size_t LiveBlocks() {
    std::lock_guard<std::mutex> lock(g_ledgerMutex);
    return g_live.size();
}

size_t LiveSize(const void* block) {
    std::lock_guard<std::mutex> lock(g_ledgerMutex);
    const auto it = g_live.find(block);
    return it == g_live.end() ? 0 : it->second;
}

int64_t ForeignFrees() {
    std::lock_guard<std::mutex> lock(g_ledgerMutex);
    return g_foreignFrees;
}

void Watch(const void* block) {
    std::lock_guard<std::mutex> lock(g_ledgerMutex);
    g_watched[block] = false;
}

bool Released(const void* block) {
    std::lock_guard<std::mutex> lock(g_ledgerMutex);
    const auto it = g_watched.find(block);
    return it != g_watched.end() && it->second;
}

}  // namespace heap_watch
