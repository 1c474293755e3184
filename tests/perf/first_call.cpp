// The first CoDeviceInstall of a process, which makes the whole load attempt of the trace
// library: its time, and the registry, file and COM operations the module makes in it, counted
// at the module's import table. One process measures one first call; the campaign script starts
// it several times, with and without the configuration service registered.
#include "perf_figures.h"

#include "platform/sdk_extras.h"
#include "test_support/import_patch.h"

#include <objbase.h>

#include <atomic>
#include <cstring>
#include <string>

namespace bench {
namespace {

std::atomic<long> g_registry{0};
std::atomic<long> g_files{0};
std::atomic<long> g_com{0};
std::atomic<long> g_libraryLoads{0};

// Each counting wrapper keeps the original target in a slot of its own.
template <typename Fn, int Slot>
struct Original {
    static Fn target;
};
template <typename Fn, int Slot>
Fn Original<Fn, Slot>::target = nullptr;

using RegOpenKeyExAFn = LSTATUS(WINAPI*)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
using RegQueryValueExAFn = LSTATUS(WINAPI*)(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
using RegCloseKeyFn = LSTATUS(WINAPI*)(HKEY);
using CreateFileAFn = HANDLE(WINAPI*)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
using CreateDirectoryAFn = BOOL(WINAPI*)(LPCSTR, LPSECURITY_ATTRIBUTES);
using GetFileAttributesAFn = DWORD(WINAPI*)(LPCSTR);
using AccessFn = int(__cdecl*)(const char*, int);
using CoInitializeExFn = HRESULT(WINAPI*)(LPVOID, DWORD);
using CoCreateInstanceFn = HRESULT(WINAPI*)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
using CoUninitializeFn = void(WINAPI*)();
using OleRunFn = HRESULT(WINAPI*)(LPUNKNOWN);
using AccessSFn = errno_t(__cdecl*)(const char*, int);
using GetProcAddressFn = FARPROC(WINAPI*)(HMODULE, LPCSTR);
using LoadLibraryAFn = HMODULE(WINAPI*)(LPCSTR);
using CoDeviceInstallFn = DWORD(WINAPI*)(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA, PCOINSTALLER_CONTEXT_DATA);

LSTATUS WINAPI CountRegOpenKeyExA(HKEY key, LPCSTR name, DWORD options, REGSAM sam, PHKEY result) {
    ++g_registry;
    return Original<RegOpenKeyExAFn, 0>::target(key, name, options, sam, result);
}
LSTATUS WINAPI CountRegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                     LPDWORD size) {
    ++g_registry;
    return Original<RegQueryValueExAFn, 0>::target(key, name, reserved, type, data, size);
}
LSTATUS WINAPI CountRegCloseKey(HKEY key) {
    ++g_registry;
    return Original<RegCloseKeyFn, 0>::target(key);
}
HANDLE WINAPI CountCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD creation,
                               DWORD flags, HANDLE templateFile) {
    ++g_files;
    return Original<CreateFileAFn, 0>::target(name, access, share, security, creation, flags, templateFile);
}
BOOL WINAPI CountWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    ++g_files;
    return Original<WriteFileFn, 0>::target(file, data, size, written, overlapped);
}
BOOL WINAPI CountCreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES security) {
    ++g_files;
    return Original<CreateDirectoryAFn, 0>::target(name, security);
}
DWORD WINAPI CountGetFileAttributesA(LPCSTR name) {
    ++g_files;
    return Original<GetFileAttributesAFn, 0>::target(name);
}
int __cdecl CountAccess(const char* name, int mode) {
    ++g_files;
    return Original<AccessFn, 0>::target(name, mode);
}
errno_t __cdecl CountAccessS(const char* name, int mode) {
    ++g_files;
    return Original<AccessSFn, 0>::target(name, mode);
}
// The runtime's _access_s is looked up by name at its first use rather than imported, so the
// lookup hands out the counting version.
FARPROC WINAPI CountingGetProcAddress(HMODULE module, LPCSTR name) {
    const FARPROC found = Original<GetProcAddressFn, 0>::target(module, name);
    if (found != nullptr && HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0 && std::strcmp(name, "_access_s") == 0) {
        Original<AccessSFn, 0>::target = reinterpret_cast<AccessSFn>(reinterpret_cast<void*>(found));
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&CountAccessS));
    }
    return found;
}
HMODULE WINAPI CountLoadLibraryA(LPCSTR name) {
    ++g_libraryLoads;
    return Original<LoadLibraryAFn, 0>::target(name);
}
HRESULT WINAPI CountCoInitializeEx(LPVOID reserved, DWORD model) {
    ++g_com;
    return Original<CoInitializeExFn, 0>::target(reserved, model);
}
HRESULT WINAPI CountCoCreateInstance(REFCLSID cls, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
    ++g_com;
    return Original<CoCreateInstanceFn, 0>::target(cls, outer, context, iid, object);
}
void WINAPI CountCoUninitialize() {
    ++g_com;
    Original<CoUninitializeFn, 0>::target();
}
HRESULT WINAPI CountOleRun(LPUNKNOWN object) {
    ++g_com;
    return Original<OleRunFn, 0>::target(object);
}

template <typename Fn>
int Hook(HMODULE module, const char* dll, const char* function, Fn counter) {
    void* previous = PatchImport(module, dll, function, reinterpret_cast<void*>(counter));
    if (previous != nullptr) Original<Fn, 0>::target = reinterpret_cast<Fn>(previous);
    return previous != nullptr ? 1 : 0;
}

}  // namespace

int FirstCallBenchmark(const char* label) {
    const double loadStart = Seconds();
    const HMODULE module = ::LoadLibraryW(L"TeskCoInstaller.dll");
    const double loadSeconds = Seconds() - loadStart;
    if (module == nullptr) {
        std::printf("TeskCoInstaller.dll beside the program could not be loaded\n");
        return 1;
    }
    int hooked = 0;
    hooked += Hook(module, "advapi32.dll", "RegOpenKeyExA", &CountRegOpenKeyExA);
    hooked += Hook(module, "advapi32.dll", "RegQueryValueExA", &CountRegQueryValueExA);
    hooked += Hook(module, "advapi32.dll", "RegCloseKey", &CountRegCloseKey);
    hooked += Hook(module, "kernel32.dll", "CreateFileA", &CountCreateFileA);
    hooked += Hook(module, "kernel32.dll", "WriteFile", &CountWriteFile);
    hooked += Hook(module, "kernel32.dll", "CreateDirectoryA", &CountCreateDirectoryA);
    hooked += Hook(module, "kernel32.dll", "GetFileAttributesA", &CountGetFileAttributesA);
    hooked += Hook(module, "msvcrt.dll", "_access", &CountAccess);
    hooked += Hook(module, "kernel32.dll", "GetProcAddress", &CountingGetProcAddress);
    hooked += Hook(module, "kernel32.dll", "LoadLibraryA", &CountLoadLibraryA);
    const int comHooked = Hook(module, "ole32.dll", "CoInitializeEx", &CountCoInitializeEx) +
                          Hook(module, "ole32.dll", "CoCreateInstance", &CountCoCreateInstance) +
                          Hook(module, "ole32.dll", "CoUninitialize", &CountCoUninitialize) +
                          Hook(module, "ole32.dll", "OleRun", &CountOleRun);
    const auto entry =
        reinterpret_cast<CoDeviceInstallFn>(reinterpret_cast<void*>(::GetProcAddress(module, "CoDeviceInstall")));

    COINSTALLER_CONTEXT_DATA context{};
    const double start = Seconds();
    entry(DIF_SELECTBESTCOMPATDRV, nullptr, nullptr, &context);
    const double firstCall = Seconds() - start;
    const double secondStart = Seconds();
    entry(DIF_SELECTBESTCOMPATDRV, nullptr, nullptr, &context);
    const double secondCall = Seconds() - secondStart;

    const std::string prefix = std::string("first_call_") + label + "_";
    Figure((prefix + "module_load_us").c_str(), loadSeconds * 1e6, "us");
    Figure((prefix + "us").c_str(), firstCall * 1e6, "us");
    Figure((prefix + "second_call_us").c_str(), secondCall * 1e6, "us");
    Figure((prefix + "registry_operations").c_str(), g_registry.load(), "calls");
    Figure((prefix + "file_operations").c_str(), g_files.load(), "calls");
    Figure((prefix + "com_operations").c_str(), g_com.load(), "calls");
    Figure((prefix + "library_loads").c_str(), g_libraryLoads.load(), "calls");
    Figure((prefix + "trace_library_bound").c_str(), ::GetModuleHandleW(L"KvTraceHub001.dll") != nullptr, "yes=1");
    Figure((prefix + "counted_imports").c_str(), hooked + comHooked, "functions");
    Figure((prefix + "com_imports").c_str(), comHooked, "functions");
    return 0;
}

}  // namespace bench
