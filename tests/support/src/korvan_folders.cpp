#include "test_support/korvan_folders.h"

#include "test_support/files.h"

#include <knownfolders.h>

#include <cstdlib>

namespace test_support {

std::string KnownFolder(const KNOWNFOLDERID& folder) {
    PWSTR wide = nullptr;
    std::string narrow;
    if (SUCCEEDED(::SHGetKnownFolderPath(folder, KF_FLAG_CREATE, nullptr, &wide))) {
        char buffer[MAX_PATH + 1] = {};
        size_t converted = 0;
        ::wcstombs_s(&converted, buffer, sizeof buffer, wide, _TRUNCATE);
        narrow = buffer;
    }
    ::CoTaskMemFree(wide);
    if (!narrow.empty() && narrow.back() != '\\') narrow += '\\';
    return narrow;
}

void KorvanTrees::RemoveAll() {
    for (const KNOWNFOLDERID* folder : {&FOLDERID_LocalAppDataLow, &FOLDERID_LocalAppData, &FOLDERID_RoamingAppData,
                                        &FOLDERID_ProgramData, &FOLDERID_ProgramFilesX86}) {
        const std::string base = KnownFolder(*folder);
        if (base.empty()) continue;
        // A test may have put a file where the tree belongs.
        if (!::DeleteFileA((base + "Korvan").c_str())) RemoveTree(base + "Korvan");
    }
}

TempDirOverride::TempDirOverride(const std::string& directory) {
    for (const char* name : {"TMP", "TEMP"}) {
        char value[32768];
        const DWORD length = ::GetEnvironmentVariableA(name, value, sizeof value);
        saved_.emplace_back(name, length != 0 ? std::optional<std::string>(value) : std::nullopt);
        ::SetEnvironmentVariableA(name, directory.c_str());
    }
}

TempDirOverride::~TempDirOverride() {
    for (const auto& [name, value] : saved_) ::SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
}

}  // namespace test_support
