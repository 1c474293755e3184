// Program and configuration directories, the configuration guess and the Korvan environment test.
#include "dirlib/directory_guesses.h"
#include "dirlib/getter_ending.h"
#include "dirlib/locbase.h"
#include "dirlib/locbase_service.h"
#include "dirlib/path_helpers.h"
#include "dirlib/registry_lookups.h"
#include "dirlib/settings.h"
#include "dirlib/tracer.h"

namespace {

constexpr char kTraceComponent[] = "X0000302";
constexpr char kDefaultProgSubPath[] = "Korvan\\PROGRAMM\\MirelCompacT";

constexpr GetterTexts kProgTexts = {
    "LBS_GetProgDir: Programmpfad <%s> = \"%s\"",
    "LBS_GetProgDir: Konnten keinen Programmpfad f\xfcr <%s> ermitteln!",
    "%s Programm <%s>",
};

constexpr GetterTexts kKonfigTexts = {
    "LBS_GetKonfigDir: KonfigPfad <%s> = \"%s\"",
    "LBS_GetKonfigDir: Konnten keinen KonfigPfad f\xfcr <%s> ermitteln!",
    "%s Konfig <%s>",
};

}  // namespace

std::string LBS_GetProgDir(const std::string& component, bool useDefaultPath) {
    Init();
    const bool locbaseActive = g_librarySettings.locbaseActive;
    std::string result;
    if (locbaseActive) result = _GetValueFromLocbase(component, LocbaseValueProgDir, std::string());
    if (_PathExists(result)) return _FinishDirectoryGetter(kProgTexts, component, result);

    if (!locbaseActive) {
        _TracerWrite(kTraceInfo, "LBS_GetProgDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet");
    } else if (!result.empty()) {
        _TracerWrite(kTraceInfo, "LBS_GetProgDir: Programmpfad via Locbase existiert nicht: \"%s\"", result.c_str());
    } else {
        _TracerWrite(kTraceInfo, "LBS_GetProgDir: Via Locbase kein Programmpfad ermittelbar.");
    }
    // With the service on, the default path is preferred to the registry.
    if (!(locbaseActive && useDefaultPath)) result = _GetProgDirFromRegistry(component);
    _TracerWrite(kTraceInfo, "LBS_GetProgDir: Programmpfad <%s> \xfc" "ber Registry ermittelt.", result.c_str());
    if (_PathExists(result)) return _FinishDirectoryGetter(kProgTexts, component, result);

    if (!result.empty()) {
        _TracerWrite(kTraceInfo, "LBS_GetProgDir: Programmpfad via Registry existiert nicht: \"%s\"", result.c_str());
    } else {
        _TracerWrite(kTraceInfo, "LBS_GetProgDir: Via Registry kein Programmpfad ermittelbar.");
    }
    if (useDefaultPath && component == kTraceComponent) {
        const std::string programFiles = LBS_GetSpecialFolderPath(LocbaseDirProgramFilesForProgram);
        if (!programFiles.empty()) {
            result = programFiles + kDefaultProgSubPath;
            _TracerWrite(kTraceInfo, "LBS_GetProgDir: Default Programmpfad eingestellt.");
        }
    } else {
        result = g_librarySettings.moduleDir;
    }
    return _FinishDirectoryGetter(kProgTexts, component, result);
}

std::string LBS_GetKonfigDir(const std::string& component) {
    Init();
    const bool locbaseActive = g_librarySettings.locbaseActive;
    std::string result;
    if (locbaseActive) {
        result = _GetValueFromLocbase(component, LocbaseValueKonfigDir, std::string());
    } else {
        _TracerWrite(kTraceInfo, "LBS_GetKonfigDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet");
    }
    if (_PathExists(result)) return _FinishDirectoryGetter(kKonfigTexts, component, result);

    if (locbaseActive) {
        if (!result.empty()) {
            _TracerWrite(kTraceInfo, "LBS_GetKonfigDir: KonfigPfad via Locbase existiert nicht: \"%s\"", result.c_str());
        } else {
            _TracerWrite(kTraceInfo, "LBS_GetKonfigDir: Via Locbase kein KonfigPfad ermittelbar.");
        }
    }
    result = _GuessLocalKonfigDir(component);
    _TracerWrite(kTraceInfo, "LBS_GetKonfigDir: KonfigPfad \xfc" "ber Alternative ermittelt: \"%s\"", result.c_str());
    if (_PathExists(result)) return _FinishDirectoryGetter(kKonfigTexts, component, result);

    if (!result.empty()) {
        _TracerWrite(kTraceInfo, "LBS_GetKonfigDir: KonfigPfad via Registry existiert nicht: \"%s\"", result.c_str());
    } else {
        _TracerWrite(kTraceInfo, "LBS_GetKonfigDir: Via Registry kein KonfigPfad ermittelbar.");
    }
    result = g_librarySettings.moduleDir;
    return _FinishDirectoryGetter(kKonfigTexts, component, result);
}

std::string _GuessLocalKonfigDir(const std::string& component) {
    std::string result = _GetKonfigDirFromRegistry(component);
    if (!result.empty()) {
        _TracerWrite(kTraceInfo, "_GuessLocalKonfigDir: Konfigpfad <%s> \xfc" "ber Registry ermittelt.", result.c_str());
        if (_PathExists(result)) return result;
    }

    result.clear();
    if (!_IsKorvanEnvironment(component)) {
        // The line names the program-data folder, but the 32-bit program files are asked.
        _TracerWrite(kTraceInfo, "_GuessLocalKonfigDir: Keine Korvan-Umgebung, nehmen ProgrammData-Verzeichnis.");
        result = LBS_GetSpecialFolderPath(LocbaseDirProgramFilesForKonfig);
        if (_PathExists(result)) {
            result += _BuildDefaultSubPath(component, "Konfig");
            if (!_PathExists(result)) {
                _TracerWrite(kTraceError, "_GuessLocalKonfigDir: Verzeichnis <%s> ist nicht vorhanden!", result.c_str());
                result.clear();
            }
        }
    }
    if (_PathExists(result)) return result;

    _TracerWrite(kTraceInfo,
                 "_GuessLocalKonfigDir: Immer noch kein Konfig-Verzeichnis, nehmen jetzt das Programmverzeichnis.");
    result = LBS_GetProgDir(component, false);
    if (_PathExists(result)) return result;
    _TracerWrite(kTraceError, "_GuessLocalKonfigDir: Verzeichnis <%s> ist nicht vorhanden!", result.c_str());
    return std::string();
}

bool _IsKorvanEnvironment(const std::string& component) {
    if (!_PathExists(LBS_GetSystemDir(1))) return false;
    if (component.empty()) return true;
    const std::string programDir = LBS_GetProgDir(component, false);
    return !programDir.empty() && programDir.find(component) != std::string::npos;
}
