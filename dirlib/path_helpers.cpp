#include "dirlib/path_helpers.h"

#include "dirlib/directory_system.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool _PathExists(const std::string& path) { return _TheDirectorySystem().Exists(path); }

std::string _AddBackslash(std::string path) {
    if (!path.empty() && path.back() != '\\') path.push_back('\\');
    return path;
}

std::string _GetModuleDir(HMODULE module) {
    char fileName[MAX_PATH + 1] = {};
    ::GetModuleFileNameA(module, fileName, MAX_PATH);

    char drive[3] = {};
    char directory[256] = {};
    char name[256] = {};
    char extension[256] = {};
    // A directory part that does not fit leaves all parts empty rather than a cut path.
    if (_splitpath_s(fileName, drive, sizeof drive, directory, sizeof directory, name, sizeof name,
                     extension, sizeof extension) != 0) {
        return std::string();
    }
    char joined[MAX_PATH] = {};
    std::snprintf(joined, sizeof joined, "%s%s", drive, directory);

    // Modules loaded through an NT path report it with the "\??\" prefix, which Win32 calls reject.
    const char* text = joined;
    if (std::strncmp(text, "\\??\\", 4) == 0) text += 4;
    return std::string(text);
}
