// The file system as the library's directory getters see it during a diagnosis: what exists, and
// what they would create taken as created, while nothing is made. The shell is asked for special
// folders without creating them.
#pragma once

#include "dirlib/directory_system.h"

#include <string>
#include <vector>

namespace doctor {

class DirectoryDryRun final : public DirectorySystem {
public:
    bool Exists(const std::string& path) override;
    // Plans the directory when Windows would let it be made where it stands.
    bool CreateTree(const std::wstring& path) override;
    HRESULT KnownFolder(const KNOWNFOLDERID& folder, DWORD flags, PWSTR* path) override;
    HRESULT FolderPath(int csidl, char (&buffer)[MAX_PATH + 1]) override;

    // Whether the directory is there now, before anything planned.
    static bool ExistsNow(const std::string& path);
    bool WouldCreate(const std::string& path) const;

private:
    bool Planned(const std::wstring& path) const;
    void Plan(const std::wstring& path);

    // Lower case, without a trailing backslash.
    std::vector<std::wstring> planned_;
};

}  // namespace doctor
