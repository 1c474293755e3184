#include "campaign/module_heap.h"

#include "test_support/import_patch.h"

#include <cstdlib>
#include <mutex>
#include <unordered_map>

namespace module_heap {
namespace {

CrtHeapFunctions g_crt{};

// The ledger lives in this program's heap, which the module's hooks never see, so keeping it
// does not recurse.
std::mutex g_mutex;
std::unordered_map<const void*, size_t> g_live;
std::unordered_map<const void*, bool> g_watched;  // address -> still held as the watched block
std::unordered_map<const void*, int64_t> g_releases;
int64_t g_foreignFrees = 0;

void Allocated(const void* block, size_t size) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_live[block] = size;
}

void Released(const void* block) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_live.erase(block) == 0) {
        ++g_foreignFrees;
        return;
    }
    const auto watched = g_watched.find(block);
    if (watched != g_watched.end() && watched->second) {
        watched->second = false;
        ++g_releases[block];
    }
}

void* __cdecl LedgerMalloc(size_t size) {
    void* block = g_crt.malloc(size);
    if (block != nullptr) Allocated(block, size);
    return block;
}

void* __cdecl LedgerCalloc(size_t count, size_t size) {
    void* block = g_crt.calloc(count, size);
    if (block != nullptr) Allocated(block, count * size);
    return block;
}

void* __cdecl LedgerRealloc(void* old, size_t size) {
    void* block = g_crt.realloc(old, size);
    if (old != nullptr && (block != nullptr || size == 0)) Released(old);
    if (block != nullptr) Allocated(block, size);
    return block;
}

// The ledger is updated before the block goes back: once freed, its address may be handed out
// again on another thread.
void __cdecl LedgerFree(void* block) {
    if (block != nullptr) Released(block);
    g_crt.free(block);
}

}  // namespace

bool Install(HMODULE module) {
    return PatchCrtHeap(module, CrtHeapFunctions{&LedgerMalloc, &LedgerCalloc, &LedgerRealloc, &LedgerFree}, g_crt);
}

size_t LiveBlocks() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_live.size();
}

size_t LiveSize(const void* block) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto it = g_live.find(block);
    return it == g_live.end() ? 0 : it->second;
}

bool Watch(const void* block) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_live.count(block) == 0) return false;
    g_watched[block] = true;
    g_releases[block] = 0;
    return true;
}

int64_t ReleasesOf(const void* block) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto it = g_releases.find(block);
    return it == g_releases.end() ? 0 : it->second;
}

int64_t ForeignFrees() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_foreignFrees;
}

}  // namespace module_heap
