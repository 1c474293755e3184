#include "dirlib/directory_system.h"

#include "dirlib/directory_creation.h"

#include <shlobj.h>

#include <io.h>

namespace {

class RealDirectorySystem final : public DirectorySystem {
public:
    bool Exists(const std::string& path) override { return !path.empty() && _access_s(path.c_str(), 0) == 0; }
    bool CreateTree(const std::wstring& path) override { return _CreateDirectory(path); }
    HRESULT KnownFolder(const KNOWNFOLDERID& folder, DWORD flags, PWSTR* path) override {
        return ::SHGetKnownFolderPath(folder, flags, nullptr, path);
    }
    HRESULT FolderPath(int csidl, char (&buffer)[MAX_PATH + 1]) override {
        return ::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_DEFAULT, buffer);
    }
};

RealDirectorySystem g_realSystem;
DirectorySystem* g_system = &g_realSystem;

}  // namespace

DirectorySystem& _TheDirectorySystem() { return *g_system; }

DirectorySystem& _RealDirectorySystem() { return g_realSystem; }

void _UseDirectorySystem(DirectorySystem& system) { g_system = &system; }
