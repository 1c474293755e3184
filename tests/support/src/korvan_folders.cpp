#include "test_support/korvan_folders.h"

#include "test_support/files.h"

#include <knownfolders.h>

#include <cstdlib>

namespace test_support {

namespace {

std::wstring Environment(const wchar_t* name, bool& present) {
    std::wstring value(32768, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(name, &value[0], static_cast<DWORD>(value.size()));
    present = length != 0;
    value.resize(length);
    return value;
}

}  // namespace

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

TempDirOverride::TempDirOverride(const std::wstring& directory)
    : tmp_(Environment(L"TMP", hadTmp_)), temp_(Environment(L"TEMP", hadTemp_)) {
    ::SetEnvironmentVariableW(L"TMP", directory.c_str());
    ::SetEnvironmentVariableW(L"TEMP", directory.c_str());
}

TempDirOverride::~TempDirOverride() {
    ::SetEnvironmentVariableW(L"TMP", hadTmp_ ? tmp_.c_str() : nullptr);
    ::SetEnvironmentVariableW(L"TEMP", hadTemp_ ? temp_.c_str() : nullptr);
}

}  // namespace test_support
