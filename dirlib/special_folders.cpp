#include "dirlib/directory_system.h"
#include "dirlib/locbase.h"
#include "dirlib/path_helpers.h"
#include "dirlib/tracer.h"
#include "platform/unique_resource.h"

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdlib>

namespace {

inline void FreeCoTaskMemString(PWSTR text) noexcept { ::CoTaskMemFree(text); }
using UniqueCoTaskMemString = tesk::UniqueResource<tesk::traits::NullInvalid<PWSTR, void(PWSTR), FreeCoTaskMemString>>;

struct FolderIds {
    const KNOWNFOLDERID* knownFolder;
    int csidl;
};

// Indexed by LocbaseDirType; systems before Vista (classes 1 to 6) only know the CSIDL numbers.
const FolderIds kFolders[] = {
    {&FOLDERID_LocalAppDataLow, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE},
    {&FOLDERID_LocalAppData, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE},
    {&FOLDERID_RoamingAppData, CSIDL_APPDATA | CSIDL_FLAG_CREATE},
    {&FOLDERID_ProgramData, CSIDL_COMMON_APPDATA},
    {&FOLDERID_ProgramFilesX86, CSIDL_PROGRAM_FILESX86},
    {&FOLDERID_ProgramFilesX86, CSIDL_PROGRAM_FILESX86},
};

bool IsValid(LocbaseDirType type) { return type >= 0 && type < static_cast<int>(sizeof kFolders / sizeof kFolders[0]); }

void AskKnownFolder(const KNOWNFOLDERID& folder, char (&buffer)[MAX_PATH + 1]) {
    UniqueCoTaskMemString path;
    HRESULT hr = _TheDirectorySystem().KnownFolder(folder, KF_FLAG_CREATE, path.put());
    if (FAILED(hr)) {
        _TracerWrite(kTraceError,
                     "LBS_GetSpecialFolderPath: Fehler <%d> von SHGetKnownFolderPath - versuche mit 'KF_Flag_Default_Path'",
                     static_cast<int>(hr));
        hr = _TheDirectorySystem().KnownFolder(folder, KF_FLAG_CREATE | KF_FLAG_DEFAULT_PATH, path.put());
        if (FAILED(hr)) {
            _TracerWrite(kTraceError, "LBS_GetSpecialFolderPath: Fehler <%d> von SHGetKnownFolderPath",
                         static_cast<int>(hr));
        }
    }
    if (path) {
        size_t converted = 0;
        ::wcstombs_s(&converted, buffer, sizeof buffer, path.get(), _TRUNCATE);
    }
}

}  // namespace

std::string LBS_GetSpecialFolderPath(LocbaseDirType type) {
    char buffer[MAX_PATH + 1] = {};
    const int versionClass = LBS_GetOsVersion();
    if (!IsValid(type)) {
        _TracerWrite(kTraceError, "LBS_GetSpecialFolderPath: Falscher LocbaseDirType <%d> wurde \xfc" "bergeben!",
                     static_cast<int>(type));
    } else if (versionClass >= 1 && versionClass <= 6) {
        const HRESULT hr = _TheDirectorySystem().FolderPath(kFolders[type].csidl, buffer);
        if (FAILED(hr)) {
            _TracerWrite(kTraceError, "LBS_GetSpecialFolderPath: Fehler <%d> von SHGetFolderPathA", static_cast<int>(hr));
        }
    } else {
        AskKnownFolder(*kFolders[type].knownFolder, buffer);
    }
    return _AddBackslash(buffer);
}
