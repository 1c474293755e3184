#include "dirlib/locbase.h"
#include "dirlib/path_helpers.h"
#include "dirlib/settings.h"
#include "dirlib/tracer.h"

std::string LBS_GetThisDllDir() {
    Init();
    std::string result;
    if (g_librarySettings.module != nullptr) {
        result = _AddBackslash(g_librarySettings.moduleDir);
    } else {
        _TracerWrite(kTraceError,
                     "LBS_GetThisDllDir: GetModuleHandleEx lieferte Fehler, kein thisDllDir ermittelbar, Fehler <%d>",
                     static_cast<int>(::GetLastError()));
    }
    _TracerWrite(kTraceInfo, "LBS_GetThisDllDir: Ermittelter Pfad <%s>.", result.c_str());
    return result;
}
