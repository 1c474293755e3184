#include "test_support/load_watch.h"

#include "test_support/import_patch.h"

#include <atomic>

namespace load_watch {
namespace {

using LoadLibraryAFn = HMODULE(WINAPI*)(LPCSTR);
using GetModuleFileNameAFn = DWORD(WINAPI*)(HMODULE, LPSTR, DWORD);

LoadLibraryAFn g_loadLibrary = nullptr;
GetModuleFileNameAFn g_moduleFileName = nullptr;
std::atomic<long> g_loadLibraryCalls{0};
std::atomic<long> g_moduleFileNameCalls{0};

HMODULE WINAPI CountedLoadLibraryA(LPCSTR name) {
    ++g_loadLibraryCalls;
    return g_loadLibrary(name);
}

DWORD WINAPI CountedGetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    ++g_moduleFileNameCalls;
    return g_moduleFileName(module, buffer, size);
}

}  // namespace

bool Install(HMODULE module) {
    g_loadLibrary = reinterpret_cast<LoadLibraryAFn>(
        PatchImport(module, "kernel32.dll", "LoadLibraryA", reinterpret_cast<void*>(&CountedLoadLibraryA)));
    g_moduleFileName = reinterpret_cast<GetModuleFileNameAFn>(
        PatchImport(module, "kernel32.dll", "GetModuleFileNameA", reinterpret_cast<void*>(&CountedGetModuleFileNameA)));
    return g_loadLibrary != nullptr && g_moduleFileName != nullptr;
}

long LoadLibraryCalls() { return g_loadLibraryCalls.load(); }
long ModuleFileNameCalls() { return g_moduleFileNameCalls.load(); }

}  // namespace load_watch
