#include "dirlib/setting_rules.h"

#include "dirlib/path_helpers.h"

#include <cstdlib>
#include <cstring>

LONG _ReadSettingValue(HKEY key, const char* name, SettingValueBuffer& value) {
    std::memset(value, 0, sizeof value);
    DWORD size = kSettingValueSize;
    return ::RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
}

bool _SwitchIsOn(const char* value) { return ::_stricmp(value, "ein") == 0; }

bool _LocbaseAllowed(const char* value) { return ::_stricmp(value, "aus") != 0; }

std::string _SettingFilePath(const char* directory, const char* fileName) { return _AddBackslash(directory) + fileName; }

bool _FitsSettingBuffer(const std::string& path) { return path.size() < MAX_PATH; }
