#include "getter_support.h"

#include "platform/unique_resource.h"

#include <gtest/gtest.h>

#include <knownfolders.h>
#include <shlobj.h>

namespace dirlib_test {

namespace {

const char* const kClientPrefixes[] = {
    "LBS_GetOsVersion:", "LBS_GetSystemDir:", "LBS_GetSystenDir:", "_GetValueFromLocbase:",
    "_GetActiveDataDirFromLocbase:", "LBS_GetAvailableDataDirLocbase:",
};

bool IsClientLine(const std::string& line) {
    for (const char* prefix : kClientPrefixes) {
        if (line.compare(2, std::string(prefix).size(), prefix) == 0) return true;
    }
    return false;
}

std::wstring Environment(const wchar_t* name, bool& present) {
    wchar_t value[32768] = {};
    present = ::GetEnvironmentVariableW(name, value, 32768) != 0;
    return value;
}

}  // namespace

GetterRun RunGetter(const std::string& arguments, const std::string& exeName) {
    const HostResult host = RunHost("getter " + arguments, exeName);
    GetterRun run;
    run.exitCode = host.exitCode;
    run.output = host.output;
    const size_t marker = host.output.find("--- call\n");
    EXPECT_NE(std::string::npos, marker) << host.output;
    if (marker == std::string::npos) return run;
    const std::string after = host.output.substr(marker);
    for (const std::string& line : MessageLines(after)) {
        if (!IsClientLine(line)) run.lines.push_back(line);
    }
    const std::string result = TaggedLine(after, "RESULT");
    EXPECT_TRUE(result.size() >= 2 && result.front() == '<' && result.back() == '>') << host.output;
    if (result.size() >= 2) run.result = result.substr(1, result.size() - 2);
    return run;
}

bool HasLineStartingWith(const GetterRun& run, const std::string& text) {
    for (const std::string& line : MessageLines(run.output)) {
        if (line.compare(2, text.size(), text) == 0) return true;
    }
    return false;
}

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

KorvanTrees::KorvanTrees() { RemoveAll(); }
KorvanTrees::~KorvanTrees() { RemoveAll(); }

void KorvanTrees::RemoveAll() {
    for (const KNOWNFOLDERID* folder : {&FOLDERID_LocalAppDataLow, &FOLDERID_LocalAppData, &FOLDERID_RoamingAppData,
                                        &FOLDERID_ProgramData, &FOLDERID_ProgramFilesX86}) {
        const std::string base = KnownFolder(*folder);
        if (base.empty()) continue;
        const std::string tree = base + "Korvan";
        // A test may have put a file where the tree belongs.
        if (!::DeleteFileA(tree.c_str())) RemoveTree(tree);
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

DesktopReady::DesktopReady() { EXPECT_EQ(0u, RunHost("desktop").exitCode); }

namespace {

constexpr char kVersionedHost[] = "dirlib_host_version.exe";

}  // namespace

VersionedHost::VersionedHost() {
    EXPECT_TRUE(::CopyFileA((HostDirectory() + "dirlib_host.exe").c_str(), (HostDirectory() + kVersionedHost).c_str(),
                            FALSE));
}

VersionedHost::~VersionedHost() {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, AppDefaultsKey().c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, AppDefaultsKey().c_str());
    ::DeleteFileA((HostDirectory() + kVersionedHost).c_str());
}

std::string VersionedHost::AppDefaultsKey() { return std::string("Software\\Wine\\AppDefaults\\") + kVersionedHost; }

void VersionedHost::SetVersion(const std::string& version) {
    tesk::UniqueHkey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, AppDefaultsKey().c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                               nullptr, key.put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                                              static_cast<DWORD>(version.size() + 1)));
}

GetterRun VersionedHost::RunGetter(const std::string& arguments) const {
    return dirlib_test::RunGetter(arguments, kVersionedHost);
}

WideDir::WideDir(std::wstring path) : path_(std::move(path)) {
    EXPECT_TRUE(::CreateDirectoryW(path_.c_str(), nullptr));
}

WideDir::~WideDir() { ::RemoveDirectoryW(path_.c_str()); }

void SetComponentDirs(VendorRegistry& registry, const std::string& component, const std::string& fixedProgDir,
                      const std::string& progDir) {
    const std::string key = std::string(kVendorKey) + "\\Components\\" + component + "\\Versions\\2.0\\ProtectedDirectories";
    registry.SetString(key, "FixedProgDir", fixedProgDir);
    registry.SetString(key, "ProgDir", progDir);
}

void SetComponentDir(VendorRegistry& registry, const std::string& component, const std::string& subKey,
                     const std::string& path) {
    registry.SetString(std::string(kVendorKey) + "\\Components\\" + component + "\\Versions\\2.0\\" + subKey, "", path);
}

void SetDataDir(VendorRegistry& registry, const std::string& component, const std::string& name, const std::string& path) {
    registry.SetString(std::string(kVendorKey) + "\\Components\\" + component + "\\AvailableDataDirectories\\" + name +
                           "\\Dir1",
                       "", path);
}

void SetSystemDir(VendorRegistry& registry, const std::string& path) {
    registry.SetString(std::string(kVendorKey) + "\\ProtectedDirectories", "SystemDir", path);
}

}  // namespace dirlib_test
