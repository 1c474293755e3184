// How the library reads and interprets its registry switches. Nothing here writes, traces or
// initialises, so a diagnosis can show exactly what Init will make of the registry.
#pragma once

#include <windows.h>

#include <string>

inline constexpr char kInternTraceValue[] = "LogVia_InternTrace";
inline constexpr char kInternTraceDirectoryValue[] = "LogVia_InternTraceDirectory";
inline constexpr char kLocbaseActiveValue[] = "LocbaseActive";
inline constexpr char kTracingDirsValue[] = "LocbaseTracingDirsActive";
inline constexpr char kTracingDirsDirectoryValue[] = "LocbaseTracingDirsDirectory";
inline constexpr char kLibDirsValue[] = "LocbaseLibDirsActive";
inline constexpr char kLibDirsDirectoryValue[] = "LocbaseLibDirsDirectory";
inline constexpr char kAltLogDirValue[] = "LocbaseLogDirX0000302";
inline constexpr char kInternTraceFileName[] = "Locbase_Intern.log";
inline constexpr char kLibDirsFileName[] = "Locbase_Lib_Dirs.log";

inline constexpr DWORD kSettingValueSize = MAX_PATH;
// One byte more than the declared size keeps even binary data of full length terminated.
using SettingValueBuffer = char[kSettingValueSize + 1];

// Whatever the value's type, its bytes as a narrow string; a value longer than the buffer fails
// with ERROR_MORE_DATA and counts as unreadable.
LONG _ReadSettingValue(HKEY key, const char* name, SettingValueBuffer& value);

// "ein" in any case switches on; everything else leaves off.
bool _SwitchIsOn(const char* value);
// The configuration service may be asked unless the value says "aus" in any case.
bool _LocbaseAllowed(const char* value);

// Directory, backslash and file name; usable only when it fits the library's 260-byte buffer.
std::string _SettingFilePath(const char* directory, const char* fileName);
bool _FitsSettingBuffer(const std::string& path);
