#include "doctor/directory_dry_run.h"

#include "dirlib/directory_creation.h"

#include <shlobj.h>

#include <cwctype>

namespace doctor {

namespace {

// No path Windows can create is longer; the library refuses such paths itself.
constexpr size_t kLongestCreatablePath = 32767;
constexpr size_t kLongestComponent = 255;

std::wstring Normalised(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    for (wchar_t& c : path) c = static_cast<wchar_t>(std::towlower(c));
    return path;
}

// What CreateDirectoryW would refuse after the drive and any "\\?\" prefix: reserved characters
// and components longer than a file name may be.
DWORD NameError(const std::wstring& path) {
    size_t start = path.compare(0, 4, L"\\\\?\\") == 0 ? 4 : 0;
    if (path.size() > start + 1 && path[start + 1] == L':') start += 2;
    while (start < path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        if (end - start > kLongestComponent) return ERROR_FILENAME_EXCED_RANGE;
        if (path.substr(start, end - start).find_first_of(L"<>:\"|?*") != std::wstring::npos) return ERROR_INVALID_NAME;
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

}  // namespace

bool DirectoryDryRun::ExistsNow(const std::string& path) { return _RealDirectorySystem().Exists(path); }

bool DirectoryDryRun::Exists(const std::string& path) {
    return ExistsNow(path) || (!path.empty() && Planned(_ConvertToUnicode(path)));
}

bool DirectoryDryRun::WouldCreate(const std::string& path) const {
    return !path.empty() && !ExistsNow(path) && Planned(_ConvertToUnicode(path));
}

// A planned directory's parents would be created with it.
bool DirectoryDryRun::Planned(const std::wstring& path) const {
    const std::wstring wanted = Normalised(path);
    if (wanted.empty()) return false;
    for (const std::wstring& plan : planned_) {
        if (plan.compare(0, wanted.size(), wanted) == 0 && (plan.size() == wanted.size() || plan[wanted.size()] == L'\\')) {
            return true;
        }
    }
    return false;
}

void DirectoryDryRun::Plan(const std::wstring& path) { planned_.push_back(Normalised(path)); }

bool DirectoryDryRun::CreateTree(const std::wstring& path) {
    std::wstring at = path;
    while (!at.empty() && at.back() == L'\\') at.pop_back();
    if (at.size() > kLongestCreatablePath) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    const DWORD nameError = NameError(at);
    if (nameError != ERROR_SUCCESS) {
        ::SetLastError(nameError);
        return false;
    }
    // Up to the nearest directory that exists or is planned; a file on the way stops creation, as
    // does a missing drive or share.
    for (std::wstring parent = at;;) {
        const DWORD attributes = ::GetFileAttributesW(parent.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) break;
            ::SetLastError(ERROR_FILE_EXISTS);
            return false;
        }
        if (Planned(parent)) break;
        const size_t lastBackslash = parent.rfind(L'\\');
        if (lastBackslash == std::wstring::npos || lastBackslash <= 2) {
            ::SetLastError(ERROR_PATH_NOT_FOUND);
            return false;
        }
        parent.resize(lastBackslash);
    }
    Plan(at);
    return true;
}

HRESULT DirectoryDryRun::KnownFolder(const KNOWNFOLDERID& folder, DWORD flags, PWSTR* path) {
    const HRESULT hr = _RealDirectorySystem().KnownFolder(folder, (flags & ~KF_FLAG_CREATE) | KF_FLAG_DONT_VERIFY, path);
    if (SUCCEEDED(hr) && (flags & KF_FLAG_CREATE) != 0 && ::GetFileAttributesW(*path) == INVALID_FILE_ATTRIBUTES) {
        Plan(*path);
    }
    return hr;
}

HRESULT DirectoryDryRun::FolderPath(int csidl, char (&buffer)[MAX_PATH + 1]) {
    const HRESULT hr = _RealDirectorySystem().FolderPath(csidl & ~CSIDL_FLAG_CREATE, buffer);
    if (SUCCEEDED(hr) && (csidl & CSIDL_FLAG_CREATE) != 0 && !ExistsNow(buffer)) Plan(_ConvertToUnicode(buffer));
    return hr;
}

}  // namespace doctor
