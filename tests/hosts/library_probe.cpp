// A DLL that carries the library, as the co-installer does: Init runs inside the DLL.
#include "dirlib/settings.h"

extern "C" __declspec(dllexport) HMODULE ProbeInit() {
    Init();
    return g_librarySettings.module;
}
