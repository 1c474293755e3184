#include "dirlib/getter_ending.h"

#include "dirlib/locbase.h"
#include "dirlib/path_helpers.h"
#include "dirlib/settings.h"
#include "dirlib/tracer.h"

#include <cstring>

std::string _FinishDirectoryGetter(const GetterTexts& texts, const std::string& component, std::string result) {
    if (_PathExists(result)) {
        _TracerWrite(kTraceInfo, texts.found, component.c_str(), result.c_str());
    } else {
        _TracerWrite(kTraceError, texts.missing, component.c_str());
    }
    result = _AddBackslash(result);
    if (g_librarySettings.libDirsActive) _InternTrace(texts.pathLog, component.c_str(), result.c_str());
    return result;
}

void _MoveToProgramDrive(const std::string& component, std::string& directory) {
    std::string programDir = LBS_GetProgDir(component, false);
    if (programDir.empty() || directory.empty()) return;
    std::string lowerDirectory = directory;
    _strlwr_s(&lowerDirectory[0], lowerDirectory.size() + 1);
    _strlwr_s(&programDir[0], programDir.size() + 1);
    if (lowerDirectory[0] == programDir[0]) return;
    directory[0] = programDir[0];
    LBS_CreateDirectory(directory);
}
