// The first CoDeviceInstall of a process, which makes the whole load attempt of the trace
// library: its time, and the registry, file and COM operations and library loads the module makes
// in it, counted at the module's import table. One process measures one first call;
// scripts/run_campaign.sh starts it several times, in different layouts.
#include "perf_figures.h"

#include "test_support/import_patch.h"
#include "test_support/module.h"

#include <objbase.h>

#include <atomic>
#include <cstring>
#include <string>

namespace bench {
namespace {

enum Kind { kRegistry, kFiles, kCom, kLoads, kKinds };
std::atomic<long> g_counts[kKinds];

// One counting stand-in per imported function: counts its kind and calls what the import held.
template <Kind kind, auto* Name, typename R, typename... A>
struct Counter {
    static inline R(WINAPI* original)(A...) = nullptr;
    static R WINAPI Call(A... arguments) {
        ++g_counts[kind];
        return original(arguments...);
    }
    static int Hook(HMODULE module, const char* dll) {
        original = reinterpret_cast<R(WINAPI*)(A...)>(PatchImport(module, dll, Name, reinterpret_cast<void*>(&Call)));
        return original != nullptr;
    }
};

#define COUNTED(kind, name, ...)             \
    constexpr char k##name[] = #name;       \
    using Count##name = Counter<kind, k##name, __VA_ARGS__>;
COUNTED(kRegistry, RegOpenKeyExA, LSTATUS, HKEY, LPCSTR, DWORD, REGSAM, PHKEY)
COUNTED(kRegistry, RegQueryValueExA, LSTATUS, HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD)
COUNTED(kRegistry, RegCloseKey, LSTATUS, HKEY)
COUNTED(kFiles, CreateFileA, HANDLE, LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
COUNTED(kFiles, WriteFile, BOOL, HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED)
COUNTED(kFiles, CreateDirectoryA, BOOL, LPCSTR, LPSECURITY_ATTRIBUTES)
COUNTED(kFiles, GetFileAttributesA, DWORD, LPCSTR)
COUNTED(kFiles, _access, int, const char*, int)
COUNTED(kFiles, _access_s, errno_t, const char*, int)
COUNTED(kLoads, LoadLibraryA, HMODULE, LPCSTR)
COUNTED(kCom, CoInitializeEx, HRESULT, LPVOID, DWORD)
COUNTED(kCom, CoCreateInstance, HRESULT, REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*)
COUNTED(kCom, CoUninitialize, void)
COUNTED(kCom, OleRun, HRESULT, LPUNKNOWN)
COUNTED(kLoads, GetProcAddress, FARPROC, HMODULE, LPCSTR)

// The runtime's _access_s is looked up by name at its first use rather than imported, so the
// lookup hands out the counting version (the lookup itself is not counted).
FARPROC WINAPI CountingGetProcAddress(HMODULE module, LPCSTR name) {
    const FARPROC found = CountGetProcAddress::original(module, name);
    if (found == nullptr || HIWORD(reinterpret_cast<ULONG_PTR>(name)) == 0 || std::strcmp(name, "_access_s") != 0)
        return found;
    Count_access_s::original = reinterpret_cast<errno_t(WINAPI*)(const char*, int)>(reinterpret_cast<void*>(found));
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&Count_access_s::Call));
}

}  // namespace

int FirstCallBenchmark(const char* label) {
    const double loadStart = Seconds();
    const HMODULE module = ::LoadLibraryA("TeskCoInstaller.dll");
    const double loadSeconds = Seconds() - loadStart;
    const auto entry = test_support::ExportAs<test_support::CoDeviceInstallFn>(module, "CoDeviceInstall");
    if (entry == nullptr) return 1;
    const int hooked = CountRegOpenKeyExA::Hook(module, "advapi32.dll") + CountRegQueryValueExA::Hook(module, "advapi32.dll") +
                       CountRegCloseKey::Hook(module, "advapi32.dll") + CountCreateFileA::Hook(module, "kernel32.dll") +
                       CountWriteFile::Hook(module, "kernel32.dll") + CountCreateDirectoryA::Hook(module, "kernel32.dll") +
                       CountGetFileAttributesA::Hook(module, "kernel32.dll") + Count_access::Hook(module, "msvcrt.dll") +
                       CountLoadLibraryA::Hook(module, "kernel32.dll");
    const int comHooked = CountCoInitializeEx::Hook(module, "ole32.dll") + CountCoCreateInstance::Hook(module, "ole32.dll") +
                          CountCoUninitialize::Hook(module, "ole32.dll") + CountOleRun::Hook(module, "ole32.dll");
    CountGetProcAddress::original = reinterpret_cast<FARPROC(WINAPI*)(HMODULE, LPCSTR)>(
        PatchImport(module, "kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&CountingGetProcAddress)));

    COINSTALLER_CONTEXT_DATA context{};
    double start = Seconds();
    entry(DIF_SELECTBESTCOMPATDRV, nullptr, nullptr, &context);
    const double firstCall = Seconds() - start;
    start = Seconds();
    entry(DIF_SELECTBESTCOMPATDRV, nullptr, nullptr, &context);
    const double secondCall = Seconds() - start;

    const std::string prefix = std::string("first_call_") + label + "_";
    const auto figure = [&](const char* name, double value, const char* unit) { Figure((prefix + name).c_str(), value, unit); };
    figure("module_load_us", loadSeconds * 1e6, "us");
    figure("us", firstCall * 1e6, "us");
    figure("second_call_us", secondCall * 1e6, "us");
    figure("registry_operations", g_counts[kRegistry], "calls");
    figure("file_operations", g_counts[kFiles], "calls");
    figure("com_operations", g_counts[kCom], "calls");
    figure("library_loads", g_counts[kLoads], "calls");
    figure("trace_library_bound", ::GetModuleHandleA(kTraceSystemFileName) != nullptr, "yes=1");
    figure("counted_imports", hooked + comHooked + (CountGetProcAddress::original != nullptr), "functions");
    figure("com_imports", comHooked, "functions");
    return 0;
}

}  // namespace bench
