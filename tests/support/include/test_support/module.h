// Loading the shipped DLLs in a test and binding their exports by name, as their real callers do.
#pragma once

#include "contracts/trace_system_contract.h"
#include "platform/sdk_extras.h"
#include "platform/unique_resource.h"

#include <string>

namespace test_support {

using CoDeviceInstallFn = DWORD(WINAPI*)(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA, PCOINSTALLER_CONTEXT_DATA);

// Loads the module; a test failure names the path and the error when it cannot.
tesk::UniqueHmodule LoadModule(const std::string& path);

// The export, or null with a test failure naming it.
void* Export(HMODULE module, const char* name);
template <typename Fn>
Fn ExportAs(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(Export(module, name));
}

// Every export of the trace-system library in the contract's order, and InitTraceSystem; false
// (with a failure per missing name) when one is missing.
struct TraceLibrary {
    TraceEntryPoints entry{};
    KvTrace_InitTraceSystem InitTraceSystem = nullptr;
};
bool BindTraceLibrary(HMODULE module, TraceLibrary& library);

}  // namespace test_support
