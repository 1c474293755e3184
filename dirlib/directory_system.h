// Where the directory getters touch the file system and the shell: existence tests, directory
// creation and the special folders, which the shell creates when asked. The library works on the
// real system; a diagnosis puts a dry run in its place, so that the same getters create nothing.
#pragma once

#include <windows.h>

#include <shtypes.h>

#include <string>

class DirectorySystem {
public:
    virtual bool Exists(const std::string& path) = 0;
    // Creates the directory with its missing parents; on failure the thread's last error says why.
    virtual bool CreateTree(const std::wstring& path) = 0;
    // SHGetKnownFolderPath and, for systems before Vista, SHGetFolderPathA with their flags.
    virtual HRESULT KnownFolder(const KNOWNFOLDERID& folder, DWORD flags, PWSTR* path) = 0;
    virtual HRESULT FolderPath(int csidl, char (&buffer)[MAX_PATH + 1]) = 0;

protected:
    ~DirectorySystem() = default;
};

// The system the getters use: the real one unless a diagnosis replaced it.
DirectorySystem& _TheDirectorySystem();
// The real one, which a replacement may build on.
DirectorySystem& _RealDirectorySystem();
// For the rest of the process; `system` must outlive every later library call.
void _UseDirectorySystem(DirectorySystem& system);
