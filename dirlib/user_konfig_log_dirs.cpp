// Per-user configuration and log directories with their guesses; both may create what is missing.
#include "dirlib/directory_guesses.h"
#include "dirlib/getter_ending.h"
#include "dirlib/locbase.h"
#include "dirlib/locbase_service.h"
#include "dirlib/path_helpers.h"
#include "dirlib/registry_lookups.h"
#include "dirlib/settings.h"
#include "dirlib/tracer.h"

namespace {

constexpr GetterTexts kUserKonfigTexts = {
    "LBS_GetKonfigDirCurrentUser: KonfigPfad des Benutzers <%s> = \"%s\"",
    "LBS_GetKonfigDirCurrentUser: konnten keinen KonfigPfad des Benutzers f\xfcr <%s> ermitteln!",
    "%s Konfig des Benutzers <%s>",
};

constexpr GetterTexts kLogTexts = {
    "LBS_GetLogDir: LogPfad <%s> = \"%s\"",
    "LBS_GetLogDir: Konnten keinen LogPfad f\xfcr <%s> ermitteln!",
    "%s Log <%s>",
};

// Only Windows XP and Server 2003 keep the log directory in the configuration service.
bool ServiceKnowsLogDir(int versionClass) { return versionClass >= 1 && versionClass <= 6; }

}  // namespace

std::string LBS_GetKonfigDirCurrentUser(const std::string& component, bool create) {
    Init();
    std::string result;
    if (g_librarySettings.locbaseActive) {
        result = _GetValueFromLocbase(component, LocbaseValueUserKonfigDir, std::string());
        if (_PathExists(result)) return _FinishDirectoryGetter(kUserKonfigTexts, component, result);
        if (!result.empty()) {
            _TracerWrite(kTraceInfo, "LBS_GetKonfigDirCurrentUser: KonfigPfad des Benutzers via Locbase existiert nicht: \"%s\"",
                         result.c_str());
            if (create) {
                _TracerWrite(kTraceInfo, "LBS_GetKonfigDirCurrentUser: Versuchen KonfigPfad des Benutzers \"%s\" anzulegen.",
                             result.c_str());
                LBS_CreateDirectory(result);
            }
        } else {
            _TracerWrite(kTraceInfo, "LBS_GetKonfigDirCurrentUser: Via Locbase kein KonfigPfad des Benutzers ermittelbar.");
        }
    } else {
        _TracerWrite(kTraceInfo,
                     "LBS_GetKonfigDirCurrentUser: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet");
    }
    if (!_PathExists(result)) {
        result = _GuessLocalUserKonfigDir(component, create);
        _TracerWrite(kTraceInfo,
                     "LBS_GetKonfigDirCurrentUser: Lokales Konfigverzeichnis \xfc" "ber Alternative ermittelt: \"%s\"",
                     result.c_str());
    }
    return _FinishDirectoryGetter(kUserKonfigTexts, component, result);
}

std::string LBS_GetLogDir(const std::string& component, bool create) {
    Init();
    std::string result;
    const int versionClass = LBS_GetOsVersion();
    if (g_librarySettings.locbaseActive && ServiceKnowsLogDir(versionClass)) {
        result = _GetValueFromLocbase(component, LocbaseValueLogDir, std::string());
        if (_PathExists(result)) return _FinishDirectoryGetter(kLogTexts, component, result);
        if (!result.empty()) {
            _TracerWrite(kTraceInfo, "LBS_GetLogDir: LogPfad via Locbase existiert nicht: \"%s\"", result.c_str());
            if (create) {
                _TracerWrite(kTraceInfo, "LBS_GetLogDir: Versuchen Logpfad \"%s\" anzulegen.", result.c_str());
                LBS_CreateDirectory(result);
            }
        } else {
            _TracerWrite(kTraceInfo, "LBS_GetLogDir: Via Locbase kein LogPfad ermittelbar.");
        }
    } else {
        _TracerWrite(kTraceInfo, "LBS_GetLogDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet");
    }
    if (_PathExists(result)) return _FinishDirectoryGetter(kLogTexts, component, result);

    if (g_librarySettings.altLogDirOn && component == kDumpComponent) {
        result = g_librarySettings.altLogDir;
        if (_PathExists(result)) return _FinishDirectoryGetter(kLogTexts, component, result);
    }
    result = _GuessLocalLogDir(component, create);
    _TracerWrite(kTraceInfo, "LBS_GetLogDir: Lokales Logverzeichnis \xfc" "ber Alternative ermittelt: \"%s\"", result.c_str());
    return _FinishDirectoryGetter(kLogTexts, component, result);
}

std::string _GuessLocalUserKonfigDir(const std::string& component, bool create) {
    const std::string subPath = _BuildDefaultSubPath(component, "Konfig");
    std::string result = LBS_GetSpecialFolderPath(LocbaseDirRoamingAppData);
    if (!result.empty()) {
        result += subPath;
        _TracerWrite(kTraceInfo, "_GuessLocalUserKonfigDir: Benutzerspezifischer Konfigpfad <%s>", result.c_str());
        if (_PathExists(result)) return result;
        if (create) {
            _TracerWrite(kTraceInfo, "_GuessLocalUserKonfigDir: Versuchen Konfigpfad \"%s\" anzulegen.", result.c_str());
            LBS_CreateDirectory(result);
            if (_PathExists(result)) return result;
        }
    }
    _TracerWrite(kTraceInfo,
                 "_GuessLocalUserKonfigDir: Immer noch kein Konfig-Verzeichnis, versuchen es mit TempDir + KorvanPfad");
    result = _GetTempDirLow() + subPath;
    if (create) {
        _TracerWrite(kTraceInfo, "_GuessLocalUserKonfigDir: Versuchen Konfigpfad \"%s\" anzulegen.", result.c_str());
        LBS_CreateDirectory(result);
    }
    return result;
}

std::string _GuessLocalLogDir(const std::string& component, bool create) {
    const std::string subPath = _BuildDefaultSubPath(component, "Log");
    std::string result = LBS_GetSpecialFolderPath(LocbaseDirLocalAppDataLow);
    if (!result.empty()) {
        result += subPath;
        _TracerWrite(kTraceInfo, "_GuessLocalLogDir: Benutzerspezifischer Logpfad <%s>", result.c_str());
        if (_PathExists(result)) return result;
        if (create) {
            _TracerWrite(kTraceInfo, "_GuessLocalLogDir: Versuchen Logpfad \"%s\" anzulegen.", result.c_str());
            LBS_CreateDirectory(result);
            if (_PathExists(result)) return result;
        }
    }

    result = _GetLogDirFromRegistry(component);
    _TracerWrite(kTraceInfo, "_GuessLocalLogDir: Logpfad <%s> \xfc" "ber Registry ermittelt.", result.c_str());
    if (_PathExists(result) || !create) return result;
    if (!result.empty()) {
        _TracerWrite(kTraceInfo, "_GuessLocalLogDir: Versuchen Logpfad \"%s\" anzulegen.", result.c_str());
        LBS_CreateDirectory(result);
        if (!_PathExists(result)) _MoveToProgramDrive(component, result);
        if (_PathExists(result)) return result;
    }

    _TracerWrite(kTraceInfo, "_GuessLocalLogDir: Immer noch kein Log-Verzeichnis, versuchen es mit TempDir + KorvanPfad");
    result = _GetTempDirLow() + subPath;
    LBS_CreateDirectory(result);
    return result;
}
