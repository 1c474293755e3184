// Public operations of the component directory library (LBS_ functions) and the types of their
// arguments. Paths are narrow strings in the ANSI code page; a directory result ends in a backslash.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Receivers of the library's messages: the error flag and the message text.
typedef void(WINAPI* LBS_TraceCallback)(bool isError, const char* message);
typedef void(WINAPI* LBS_TraceCallbackW)(bool isError, const wchar_t* message);

// Special folders the library knows. Kinds 4 and 5 name the same folder: the configuration guesses
// ask for 4, the program-directory default for 5.
enum LocbaseDirType : std::int32_t {
    LocbaseDirLocalAppDataLow = 0,
    LocbaseDirLocalAppData = 1,
    LocbaseDirRoamingAppData = 2,
    LocbaseDirProgramData = 3,
    LocbaseDirProgramFilesForKonfig = 4,
    LocbaseDirProgramFilesForProgram = 5,
};

// A non-null callback replaces the earlier one; null is refused with false.
bool LBS_SetTraceCallback(LBS_TraceCallback callback);
bool LBS_SetTraceCallbackW(LBS_TraceCallbackW callback);

// Creates the directory together with its missing parents; true when it exists at the end.
bool LBS_CreateDirectory(const std::string& path);

// The folder with a trailing backslash, or an empty string.
std::string LBS_GetSpecialFolderPath(LocbaseDirType type);

// The operating-system version class (0 when unknown).
int LBS_GetOsVersion();

// Directory getters. Each tries the configuration service (when "LocbaseActive" allows it), the
// vendor's registry records and guesses below special folders, in that order, and returns its best
// candidate with a trailing backslash; that candidate may be empty or name a missing directory, so
// the caller tests it. Only the getters with `create` make missing directories.
std::string LBS_GetProgDir(const std::string& component, bool useDefaultPath);
std::string LBS_GetKonfigDir(const std::string& component);
std::string LBS_GetKonfigDirCurrentUser(const std::string& component, bool create);
std::string LBS_GetLogDir(const std::string& component, bool create);
std::string LBS_GetDataDir(const std::string& component, bool create, const std::string& dataDirName);

// The process's temporary directory as the system gives it; empty when it cannot be read.
std::string LBS_GetTempDir();

// Directory of the module that carries the library, ending in a backslash; empty when unknown.
std::string LBS_GetThisDllDir();
