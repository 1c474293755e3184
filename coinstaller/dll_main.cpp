// Load and unload of the module. Attach only prepares; the trace-system library is bound by the
// first trace call, never under the loader lock.
#include "coinstaller/library_log_forwarder.h"
#include "dirlib/locbase.h"

#include <windows.h>
#include <commctrl.h>

namespace {
HINSTANCE g_module = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            g_module = module;
            ::DisableThreadLibraryCalls(module);
            ::InitCommonControls();
            // Registered before any request can reach the library; never unregistered.
            LBS_SetTraceCallbackW(ForwardLibraryLog);
            break;
        case DLL_PROCESS_DETACH:
            g_module = nullptr;
            break;
        default:
            break;
    }
    return TRUE;
}
