// Data directory with its guess, and the temporary directory with its low-integrity variant.
#include "dirlib/directory_guesses.h"
#include "dirlib/getter_ending.h"
#include "dirlib/locbase.h"
#include "dirlib/locbase_service.h"
#include "dirlib/path_helpers.h"
#include "dirlib/registry_lookups.h"
#include "dirlib/settings.h"
#include "dirlib/tracer.h"

namespace {

constexpr GetterTexts kDataTexts = {
    "LBS_GetDataDir: Datenpfad <%s> = \"%s\"",
    "LBS_GetDataDir: Konnten keinen Datenpfad f\xfcr <%s> ermitteln!",
    "%s Daten <%s>",
};

// Appends the data directory name to an existing directory and creates it when asked.
void AppendDataDirName(std::string& result, const std::string& dataDirName, bool create) {
    if (dataDirName.empty() || !_PathExists(result)) return;
    result = _AddBackslash(result) + dataDirName;
    if (create && !_PathExists(result)) LBS_CreateDirectory(result);
}

}  // namespace

std::string LBS_GetDataDir(const std::string& component, bool create, const std::string& dataDirName) {
    Init();
    std::string result;
    if (!g_librarySettings.locbaseActive) {
        _TracerWrite(kTraceInfo, "LBS_GetDataDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet");
    } else {
        result = LBS_GetAvailableDataDirLocbase(component, dataDirName);
        if (!_PathExists(result) && create) {
            _TracerWrite(kTraceInfo, "LBS_GetDataDir: Kein g\xfcltiges Datenverzeichnis von Locbase erhalten");
            if (!result.empty()) {
                _TracerWrite(kTraceInfo, "LBS_GetDataDir: Versuchen Datenpfad \"%s\" anzulegen.", result.c_str());
                LBS_CreateDirectory(result);
            } else {
                _TracerWrite(kTraceInfo, "LBS_GetDataDir: Datenpfadname (available) via Locbase nicht ermittelbar!");
            }
        }
    }
    if (!_PathExists(result)) {
        result = _GuessLocalDataDir(component, dataDirName, create);
        _TracerWrite(kTraceInfo, "LBS_GetDataDir: Lokales Datenverzeichnis \xfc" "ber Alternative ermittelt: \"%s\"",
                     result.c_str());
    }
    return _FinishDirectoryGetter(kDataTexts, component, result);
}

std::string _GuessLocalDataDir(const std::string& component, const std::string& dataDirName, bool create) {
    std::string result = _GetAvailableDataDirFromRegistry(component, dataDirName);
    if (!result.empty()) {
        _TracerWrite(kTraceInfo, "_GuessLocalDataDir: Datenpfad <%s> \xfc" "ber Registry ermittelt.", result.c_str());
        if (_PathExists(result)) return result;
        if (create) {
            _TracerWrite(kTraceInfo, "_GuessLocalDataDir: Versuchen Datenpfad \"%s\" anzulegen.", result.c_str());
            LBS_CreateDirectory(result);
            if (!_PathExists(result)) _MoveToProgramDrive(component, result);
        }
    }
    if (_PathExists(result)) return result;

    if (!_IsKorvanEnvironment(component)) {
        _TracerWrite(kTraceInfo, "_GuessLocalDataDir: Keine Korvan-Umgebung, nehmen ProgrammData-Verzeichnis.");
        result = LBS_GetSpecialFolderPath(LocbaseDirProgramData);
        if (!result.empty()) {
            result += _BuildDefaultSubPath(component, "Daten");
            if (create && !_PathExists(result)) LBS_CreateDirectory(result);
            AppendDataDirName(result, dataDirName, create);
            if (_PathExists(result)) return result;
        }
    }
    if (!create) return result;

    _TracerWrite(kTraceInfo,
                 "_GuessLocalDataDir: Immer noch kein Daten-Verzeichnis, versuchen es mit TempDirLow + KorvanPfad.");
    result = _GetTempDirLow() + _BuildDefaultSubPath(component, "Daten");
    if (!_PathExists(result)) LBS_CreateDirectory(result);
    AppendDataDirName(result, dataDirName, true);
    return result;
}

std::string LBS_GetTempDir() {
    Init();
    char buffer[MAX_PATH + 1] = {};
    // A path longer than the buffer leaves it untouched, so the answer is then empty.
    ::GetTempPathA(MAX_PATH, buffer);
    _TracerWrite(kTraceInfo, "LSB_GetTempDir: Tempor\xe4rer Pfad = \"%s\"", buffer);
    return buffer;
}

std::string _GetTempDirLow() {
    const std::string temp = LBS_GetTempDir();
    if (temp.find("\\Low") != std::string::npos) return temp;
    return temp + "Low\\";
}
