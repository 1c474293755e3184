#include "dirlib/settings.h"

#include "dirlib/path_dump.h"
#include "dirlib/path_helpers.h"
#include "dirlib/setting_rules.h"
#include "dirlib/shared_security_attributes.h"
#include "dirlib/tracer.h"
#include "platform/unique_resource.h"

#include <atomic>
#include <cstring>
#include <string>

LibrarySettings g_librarySettings;

namespace {

using ValueBuffer = SettingValueBuffer;

// Directory, backslash and file name into a 260-byte path. A path that would not fit is refused
// with an error line, so the setting that needs it stays off.
bool ComposePath(const char* directory, const char* fileName, char (&target)[MAX_PATH]) {
    const std::string path = _SettingFilePath(directory, fileName);
    if (!_FitsSettingBuffer(path)) {
        _TracerWrite(kTraceError, "Init: Pfad <%s> ist l\xe4nger als %d Zeichen und wird nicht verwendet!",
                     path.c_str(), static_cast<int>(sizeof target - 1));
        return false;
    }
    std::memcpy(target, path.c_str(), path.size() + 1);
    return true;
}

void ReadInternTrace(HKEY key, LibrarySettings& settings) {
    ValueBuffer value;
    LONG rc = _ReadSettingValue(key, kInternTraceValue, value);
    if (rc != ERROR_SUCCESS) {
        _TracerWrite(kTraceInfo, "Init: Fehler <%d> beim Lesen des Eintrags \"LogVia_InternTrace\"!", static_cast<int>(rc));
        return;
    }
    if (!_SwitchIsOn(value)) return;
    rc = _ReadSettingValue(key, kInternTraceDirectoryValue, value);
    if (rc != ERROR_SUCCESS) {
        _TracerWrite(kTraceError, "Init: Fehler <%d> beim Lesen des Eintrags \"LogVia_InternTraceDirectory\"!",
                     static_cast<int>(rc));
    } else if (!_PathExists(value)) {
        _TracerWrite(kTraceError, "Init: Verzeichnis <%s> existiert nicht, um internes Log auszugeben!", value);
    } else if (ComposePath(value, kInternTraceFileName, settings.internTraceFile)) {
        settings.internTraceOn = true;
    }
}

void ReadLocbaseActive(HKEY key, LibrarySettings& settings) {
    ValueBuffer value;
    const LONG rc = _ReadSettingValue(key, kLocbaseActiveValue, value);
    if (rc != ERROR_SUCCESS) {
        _TracerWrite(kTraceInfo, "Init: Fehler <%d> beim Lesen des Eintrags \"LocbaseActive\"!", static_cast<int>(rc));
        return;
    }
    settings.locbaseActive = _LocbaseAllowed(value);
}

// The dump file path is needed for this first call only.
void ReadTracingDirs(HKEY key, char (&dumpFile)[MAX_PATH]) {
    ValueBuffer value;
    LONG rc = _ReadSettingValue(key, kTracingDirsValue, value);
    if (rc != ERROR_SUCCESS) {
        _TracerWrite(kTraceInfo, "Init: Fehler <%d> beim Lesen des Eintrags \"LocbaseTracingDirsActive\"!",
                     static_cast<int>(rc));
        return;
    }
    if (!_SwitchIsOn(value)) return;
    rc = _ReadSettingValue(key, kTracingDirsDirectoryValue, value);
    if (rc != ERROR_SUCCESS) {
        _TracerWrite(kTraceError, "Init: Fehler <%d> beim Lesen des Eintrags \"LocbaseTracingDirsDirectory\"!",
                     static_cast<int>(rc));
        return;
    }
    if (!_PathExists(value)) {
        _TracerWrite(kTraceError, "Init: Verzeichnis <%s> existiert nicht, um alle Pfade f\xfcr die %s auszugeben!",
                     value, kDumpComponent);
        return;
    }
    ComposePath(value, (std::string(kDumpComponent) + "_TracingDirs.log").c_str(), dumpFile);
}

void ReadLibDirs(HKEY key, LibrarySettings& settings) {
    ValueBuffer value;
    LONG rc = _ReadSettingValue(key, kLibDirsValue, value);
    if (rc != ERROR_SUCCESS) {
        _TracerWrite(kTraceInfo, "Init: Fehler <%d> beim Lesen des Eintrags \"LocbaseLibDirsActive\"!", static_cast<int>(rc));
        return;
    }
    if (!_SwitchIsOn(value)) return;
    rc = _ReadSettingValue(key, kLibDirsDirectoryValue, value);
    if (rc != ERROR_SUCCESS) {
        _TracerWrite(kTraceError, "Init: Fehler <%d> beim Lesen des Eintrags \"LocbaseLibDirsDirectory\"!",
                     static_cast<int>(rc));
    } else if (!_PathExists(value)) {
        _TracerWrite(kTraceError, "Init: Verzeichnis <%s> existiert nicht, um Pfade f\xfcr Komponenten auszugeben!", value);
    } else if (ComposePath(value, kLibDirsFileName, settings.libDirsFile)) {
        settings.libDirsActive = true;
    }
}

void ReadAlternativeLogDir(HKEY key, LibrarySettings& settings) {
    ValueBuffer value;
    const LONG rc = _ReadSettingValue(key, kAltLogDirValue, value);
    if (rc != ERROR_SUCCESS) {
        _TracerWrite(kTraceInfo, "Init: Fehler <%d> beim Lesen des Eintrags \"LocbaseLogDirX0000302\"!", static_cast<int>(rc));
        return;
    }
    if (!_PathExists(value)) {
        _TracerWrite(kTraceError,
                     "Init: Verzeichnis <%s> existiert nicht, um als alternativer Log-Pfad f\xfcr die Komponente %s "
                     "zur\xfc" "ckgegeben zu werden!",
                     value, kDumpComponent);
        return;
    }
    if (ComposePath(value, "", settings.altLogDir)) settings.altLogDirOn = true;
}

}  // namespace

void _ReadSettingsFromKey(HKEY key, LibrarySettings& settings, char (&dumpFile)[MAX_PATH]) {
    ReadInternTrace(key, settings);
    ReadLocbaseActive(key, settings);
    ReadTracingDirs(key, dumpFile);
    ReadLibDirs(key, settings);
    ReadAlternativeLogDir(key, settings);
}

namespace {

// The slot is filled before the success line, so that line already goes out under the log mutex.
void CreateSharedMutex(const char* name, HANDLE& slot) {
    slot = ::CreateMutexA(_SharedSecurityAttributes().get(), FALSE, name);
    if (slot != nullptr) {
        _TracerWrite(kTraceInfo, "Init: Der Mutex <%s> konnte erfolgreich erzeugt werden", name);
        return;
    }
    // A mutex created by a more privileged process may only grant waiting.
    if (::GetLastError() == ERROR_ACCESS_DENIED) {
        slot = ::OpenMutexA(SYNCHRONIZE, FALSE, name);
        if (slot != nullptr) return;
    }
    const DWORD error = ::GetLastError();
    if (error != 0) {
        _TracerWrite(kTraceError, "Init: Fehler <%d> beim Erzeugen des Mutex <%s>!", static_cast<int>(error), name);
    }
}

// The thread that reads the settings: a host callback that calls back into the library from one
// of Init's messages must return at once, not wait for the reading it interrupts.
std::atomic<DWORD> g_readingThread{0};

// Step one of Init, run exactly once per process however many threads make their first call
// together; the others wait until the settings are complete. The dump is left to the caller,
// because its getters call Init again on the same thread, which must then find it done.
void ReadSettingsOnce(char (&dumpFile)[MAX_PATH]) {
    LibrarySettings& settings = g_librarySettings;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&Init), &settings.module);

    // Built in a buffer of MAX_PATH bytes, so it fits with its terminator.
    const std::string moduleDir = _GetModuleDir(settings.module);
    std::memcpy(settings.moduleDir, moduleDir.c_str(), moduleDir.size() + 1);

    tesk::UniqueHkey key;
    const LONG rc = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, kReadAccess32, key.put());
    if (rc != ERROR_SUCCESS) {
        _TracerWrite(kTraceError, "Init: Fehler <%d> beim \xd6" "ffnen des Registry-Pfades <%s>!", static_cast<int>(rc),
                     kSettingsKeyPath);
    } else {
        _ReadSettingsFromKey(key.get(), settings, dumpFile);
        const LONG closeRc = ::RegCloseKey(key.release());
        if (closeRc != ERROR_SUCCESS) {
            _TracerWrite(kTraceError, "Init: Fehler <%d> beim Aufruf von ::RegCloseKey!", static_cast<int>(closeRc));
        }
    }

    if (settings.internTraceOn || dumpFile[0] != '\0' || settings.libDirsActive) {
        CreateSharedMutex(kLogMutexName, settings.logMutex);
    }
    CreateSharedMutex(kUserNameMutexName, settings.userNameMutex);
}

// No exception may unwind through the system's once-routine; a failure leaves settings off.
BOOL CALLBACK ReadSettings(INIT_ONCE*, void* parameter, void**) {
    g_readingThread = ::GetCurrentThreadId();
    try {
        ReadSettingsOnce(*static_cast<char(*)[MAX_PATH]>(parameter));
    } catch (...) {
    }
    g_readingThread = 0;
    return TRUE;
}

BOOL CALLBACK TakeSettings(INIT_ONCE*, void* parameter, void**) {
    g_librarySettings = *static_cast<const LibrarySettings*>(parameter);
    return TRUE;
}

INIT_ONCE g_initialised = INIT_ONCE_STATIC_INIT;

}  // namespace

void _AdoptSettings(const LibrarySettings& settings) {
    ::InitOnceExecuteOnce(&g_initialised, TakeSettings, const_cast<LibrarySettings*>(&settings), nullptr);
}

void Init() {
    // Filled only on the thread that reads the settings, and only when the dump is asked for.
    char dumpFile[MAX_PATH] = {};
    if (g_readingThread == ::GetCurrentThreadId()) return;
    ::InitOnceExecuteOnce(&g_initialised, ReadSettings, &dumpFile, nullptr);
    if (dumpFile[0] != '\0') _DumpComponentPaths(dumpFile);

    const LibrarySettings& settings = g_librarySettings;
    if (settings.libDirsActive) {
        _TracerWrite(kTraceInfo, "Init: Pfade f\xfcr alle Komponenten werden bei jeder Abfrage nach <%s> ausgegeben",
                     settings.libDirsFile);
    }
}
