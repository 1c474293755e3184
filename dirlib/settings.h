// Process-wide settings of the library, read once from the registry by Init.
#pragma once

#include <windows.h>

// Plain data with static storage: all off and empty when the module is loaded, before any
// constructor runs.
struct LibrarySettings {
    HMODULE module;
    // The module's directory with its backslash, the getters' last candidate.
    char moduleDir[MAX_PATH];
    bool internTraceOn;
    char internTraceFile[MAX_PATH];
    bool locbaseActive;
    bool libDirsActive;
    char libDirsFile[MAX_PATH];
    bool altLogDirOn;
    char altLogDir[MAX_PATH];
    // Named mutexes shared with every process that uses the library; never closed.
    HANDLE logMutex;
    HANDLE userNameMutex;
};

extern LibrarySettings g_librarySettings;

// The vendor's keys are read in the 32-bit view, whatever the process's bitness.
inline constexpr REGSAM kReadAccess32 = KEY_READ | KEY_WOW64_32KEY;
inline constexpr char kSettingsKeyPath[] = "SOFTWARE\\Korvan Mirel Compact";
inline constexpr char kLogMutexName[] = "LBS_MUTEX_INTERN_TRACE";
inline constexpr char kUserNameMutexName[] = "LBS_MUTEX_GETUSERNAME";
inline constexpr char kDumpComponent[] = "X0000303";

// Init's reading of the open settings key into `settings`, and into `dumpFile` the dump file's path
// when the one-time dump is asked for. It only reads and writes messages.
void _ReadSettingsFromKey(HKEY key, LibrarySettings& settings, char (&dumpFile)[MAX_PATH]);

// For a diagnosis, before the library's first use: `settings` become the process's settings as if
// Init had read them, so Init neither reads nor creates mutexes nor dumps.
void _AdoptSettings(const LibrarySettings& settings);

// Reads the settings on the first call of the process, whichever thread makes it; later calls only
// announce the component-path log.
void Init();
