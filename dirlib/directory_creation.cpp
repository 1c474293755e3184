#include "dirlib/directory_creation.h"

#include "dirlib/directory_system.h"
#include "dirlib/locbase.h"
#include "dirlib/tracer.h"

#include <windows.h>

#include <cstdlib>
#include <io.h>
#include <vector>

namespace {

constexpr size_t kLongestCreatablePath = 32767;

}  // namespace

std::wstring _ConvertToUnicode(const std::string& path) {
    std::vector<wchar_t> wide(path.size() + 1, L'\0');
    size_t converted = 0;
    // The count includes the terminator. A path that converts to nothing, or a count beyond the
    // buffer (which some runtimes report with success for an invalid sequence), is a failure.
    if (::mbstowcs_s(&converted, wide.data(), wide.size(), path.c_str(), _TRUNCATE) == 0 && converted > 1 &&
        converted <= wide.size()) {
        return std::wstring(wide.data());
    }
    _TracerWrite(kTraceError, "_ConvertToUnicode: Fehler beim Konvertieren des Verzeichnisses <%s>!", path.c_str());
    return std::wstring();
}

bool _CreateDirectory(std::wstring path) {
    try {
        if (!path.empty() && path.back() == L'\\') path.pop_back();
        // No path Windows can create is longer; refused before recursing, because one level per
        // component of a longer one could exhaust the stack.
        if (path.size() > kLongestCreatablePath) {
            ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return false;
        }

        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            // A backslash at position 2 or less belongs to a drive root or a network path's prefix,
            // which cannot be created.
            const size_t lastBackslash = path.rfind(L'\\');
            if (lastBackslash != std::wstring::npos && lastBackslash > 2 &&
                !_CreateDirectory(path.substr(0, lastBackslash))) {
                return false;
            }
            _TracerWrite(kTraceInfo, "_CreateDirectory: Pfad '<%S>' soll angelegt werden", path.c_str());
            return ::CreateDirectoryW(path.c_str(), nullptr) != FALSE;
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return true;

        _TracerWrite(kTraceError, "_CreateDirectory: Angeforderter Pfad ist eine Datei (<%S>)", path.c_str());
        ::SetLastError(ERROR_FILE_EXISTS);
        return false;
    } catch (...) {
        _TracerWrite(kTraceError, "_CreateDirectory: Im Catch...");
        return false;
    }
}

bool LBS_CreateDirectory(const std::string& path) {
    if (path.empty()) {
        _TracerWrite(kTraceError, "LBS_CreateDirectory: Kein Pfad \xfc" "bergeben!");
        return false;
    }
    const std::wstring widePath = _ConvertToUnicode(path);
    if (!widePath.empty() && ::_waccess_s(widePath.c_str(), 0) == 0) return true;

    const bool created = _TheDirectorySystem().CreateTree(widePath);
    if (created) {
        _TracerWrite(kTraceInfo, "LBS_CreateDirectory: Verzeichnis <%S> wurde angelegt", widePath.c_str());
    } else {
        const DWORD error = ::GetLastError();
        _TracerWrite(kTraceError, "LBS_CreateDirectory: Fehler <%d> beim Anlegen des Verzeichnisses <%S>!",
                     static_cast<int>(error), widePath.c_str());
    }
    return created;
}
