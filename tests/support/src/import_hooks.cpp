#include "test_support/heap_watch.h"
#include "test_support/load_watch.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

// Points the module's import of `function` from `dll` at `replacement`; returns the previous
// target, or null when the module does not import it by name.
void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement) {
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return nullptr;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); d->Name != 0; ++d) {
        if (_stricmp(reinterpret_cast<const char*>(base + d->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk); names->u1.AddressOfData != 0; ++names, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                std::strcmp(reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name, function) != 0)
                continue;
            DWORD protection = 0;
            ::VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE, &protection);
            void* previous = reinterpret_cast<void*>(slot->u1.Function);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            ::VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), protection, &protection);
            return previous;
        }
    }
    return nullptr;
}

template <typename Fn>
Fn Patch(HMODULE module, const char* dll, const char* function, Fn replacement, Fn fallback = nullptr) {
    void* previous = PatchImport(module, dll, function, reinterpret_cast<void*>(replacement));
    return previous ? reinterpret_cast<Fn>(previous) : fallback;
}

void*(__cdecl* g_malloc)(size_t);
void*(__cdecl* g_calloc)(size_t, size_t);
void*(__cdecl* g_realloc)(void*, size_t);
void(__cdecl* g_free)(void*);
std::atomic<size_t> g_failSize{0};

// The ledger lives in the program's heap, which the module's hooks never see.
std::mutex g_mutex;
std::unordered_map<const void*, size_t> g_live;
int64_t g_allocations = 0, g_frees = 0, g_foreignFrees = 0;

template <typename Read>
auto Locked(Read read) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return read();
}

bool ShouldFail(size_t size) {
    size_t chosen = size;
    return size != 0 && g_failSize.compare_exchange_strong(chosen, 0);
}

// A realloc that moves a block books neither an allocation nor a free, only the ledger changes.
// Booked before the block goes back: once freed, its address may be handed out on another thread.
void Book(const void* freed, const void* allocated, size_t size) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (freed && g_live.erase(freed) == 0) ++g_foreignFrees;
    if (allocated) g_live[allocated] = size;
    g_allocations += allocated && !freed;
    g_frees += freed && !allocated;
}

void* __cdecl WatchedMalloc(size_t size) {
    void* block = ShouldFail(size) ? nullptr : g_malloc(size);
    if (block) Book(nullptr, block, size);
    return block;
}

void* __cdecl WatchedCalloc(size_t count, size_t size) {
    void* block = ShouldFail(count * size) ? nullptr : g_calloc(count, size);
    if (block) Book(nullptr, block, count * size);
    return block;
}

void* __cdecl WatchedRealloc(void* old, size_t size) {
    if (ShouldFail(size)) return nullptr;
    void* block = g_realloc(old, size);
    if (block || (old && size == 0)) Book(old, block, size);
    return block;
}

void __cdecl WatchedFree(void* block) {
    if (block) Book(block, nullptr, 0);
    g_free(block);
}

HMODULE(WINAPI* g_loadLibrary)(LPCSTR);
DWORD(WINAPI* g_moduleFileName)(HMODULE, LPSTR, DWORD);
std::atomic<long> g_loadLibraryCalls{0}, g_moduleFileNameCalls{0};

HMODULE WINAPI CountedLoadLibraryA(LPCSTR name) { return ++g_loadLibraryCalls, g_loadLibrary(name); }
DWORD WINAPI CountedGetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    return ++g_moduleFileNameCalls, g_moduleFileName(module, buffer, size);
}

}  // namespace

namespace heap_watch {

// calloc and realloc may be absent from a module's imports; malloc and free never are.
bool Install(HMODULE module) {
    g_malloc = Patch(module, "msvcrt.dll", "malloc", &WatchedMalloc);
    g_calloc = Patch(module, "msvcrt.dll", "calloc", &WatchedCalloc, &std::calloc);
    g_realloc = Patch(module, "msvcrt.dll", "realloc", &WatchedRealloc, &std::realloc);
    g_free = Patch(module, "msvcrt.dll", "free", &WatchedFree);
    return g_malloc && g_free;
}

Counts Snapshot() { return Locked([] { return Counts{g_allocations, g_frees}; }); }
void FailNextAllocationOfSize(size_t size) { g_failSize.store(size); }
size_t LiveBlocks() { return Locked([] { return g_live.size(); }); }
size_t LiveSize(const void* block) {
    return Locked([block] { const auto it = g_live.find(block); return it == g_live.end() ? size_t{0} : it->second; });
}
int64_t ForeignFrees() { return Locked([] { return g_foreignFrees; }); }

}  // namespace heap_watch

namespace load_watch {

bool Install(HMODULE module) {
    g_loadLibrary = Patch(module, "kernel32.dll", "LoadLibraryA", &CountedLoadLibraryA);
    g_moduleFileName = Patch(module, "kernel32.dll", "GetModuleFileNameA", &CountedGetModuleFileNameA);
    return g_loadLibrary && g_moduleFileName;
}

long LoadLibraryCalls() { return g_loadLibraryCalls.load(); }
long ModuleFileNameCalls() { return g_moduleFileNameCalls.load(); }

}  // namespace load_watch
