#include "dirlib/os_version.h"
#include "host_output.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace dirlib_test;

int ClassOfThisSystem() {
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    EXPECT_EQ(0, rtlGetVersion(&version));
    return _ClassifyOsVersion(version, ::GetSystemMetrics(SM_SERVERR2));
}

const std::string kOpenFailure = "E Init: Fehler <2> beim \xd6" "ffnen des Registry-Pfades <SOFTWARE\\Korvan Mirel Compact>!";

class PlatformInfoTest : public ::testing::Test {
protected:
    VendorRegistry registry_;
};

// Wine takes a program's Windows version from its AppDefaults key when the program starts.
class WineVersionForHost {
public:
    explicit WineVersionForHost(const std::string& version) {
        tesk::UniqueHkey key;
        EXPECT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                   key.put(), nullptr));
        EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key.get(), "Version", 0, REG_SZ,
                                                  reinterpret_cast<const BYTE*>(version.c_str()),
                                                  static_cast<DWORD>(version.size() + 1)));
    }
    ~WineVersionForHost() { ::RegDeleteKeyA(HKEY_CURRENT_USER, kKey); }
    WineVersionForHost(const WineVersionForHost&) = delete;
    WineVersionForHost& operator=(const WineVersionForHost&) = delete;

private:
    static constexpr char kKey[] = "Software\\Wine\\AppDefaults\\dirlib_host.exe";
};

std::string VersionLine(int versionClass, const std::string& text) {
    return "I LBS_GetOsVersion: \"" + std::to_string(versionClass) + "\" (" + text + ")";
}

// The prefix's own configuration: the host classifies what RtlGetVersion reports here. Every call
// logs; only the first classifies.
TEST_F(PlatformInfoTest, OsVersionOfTheConfiguredSystem) {
    const int expected = ClassOfThisSystem();
    ASSERT_NE(0, expected);
    const HostResult result = RunHost("os-version");
    ASSERT_EQ(0u, result.exitCode) << result.output;
    EXPECT_EQ(std::to_string(expected) + " " + std::to_string(expected), TaggedLine(result.output, "CLASS"));
    const std::string line = VersionLine(expected, _GetOsVersionName(expected));
    EXPECT_EQ((std::vector<std::string>{kOpenFailure, kUserMutexLine, line, line}), MessageLines(result.output));
}

// Wine 8 hands out the "win7" and "win2008r2" settings crosswise, so those two are left out here; the
// prefix's default (Windows 7 SP1) is covered above.
TEST_F(PlatformInfoTest, OsVersionOfEachWindowsVersionWineCanPretend) {
    const std::tuple<const char*, int, const char*> versions[] = {
        {"win10", 18, "Windows 10"},
        {"win81", 16, "Windows 8.1"},
        {"win8", 14, "Windows 8"},
        {"win2008", 10, "Windows 2008 Server"},
        {"vista", 9, "Windows VISTA SP2"},
        {"win2003", 5, "Windows 2003 Server"},
    };
    for (const auto& [wineVersion, versionClass, text] : versions) {
        WineVersionForHost pretend(wineVersion);
        const HostResult result = RunHost("os-version");
        EXPECT_EQ(std::to_string(versionClass) + " " + std::to_string(versionClass), TaggedLine(result.output, "CLASS"))
            << wineVersion;
        const std::vector<std::string> messages = MessageLines(result.output);
        ASSERT_EQ(4u, messages.size()) << result.output;
        EXPECT_EQ(VersionLine(versionClass, text), messages[3]) << wineVersion;
    }
}

std::string KnownFolder(const KNOWNFOLDERID& id) {
    PWSTR path = nullptr;
    EXPECT_EQ(S_OK, ::SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path));
    char narrow[MAX_PATH + 1] = {};
    size_t converted = 0;
    if (path != nullptr) ::wcstombs_s(&converted, narrow, sizeof narrow, path, _TRUNCATE);
    ::CoTaskMemFree(path);
    return std::string(narrow) + "\\";
}

std::vector<std::string> ErrorLines(const std::string& output) {
    std::vector<std::string> errors;
    for (const std::string& line : MessageLines(output)) {
        if (line[0] == 'E') errors.push_back(line);
    }
    return errors;
}

const std::vector<std::string> kInvalidTypeErrors = {
    kOpenFailure,
    "E LBS_GetSpecialFolderPath: Falscher LocbaseDirType <6> wurde \xfc" "bergeben!",
    "E LBS_GetSpecialFolderPath: Falscher LocbaseDirType <-1> wurde \xfc" "bergeben!",
};

void ExpectFolders(const std::string& output, const std::vector<std::string>& folders) {
    for (size_t type = 0; type < folders.size(); ++type) {
        EXPECT_EQ("<" + folders[type] + ">", TaggedLine(output, "FOLDER " + std::to_string(type))) << type;
        ASSERT_GE(folders[type].size(), 4u);
        EXPECT_NE('\\', folders[type][folders[type].size() - 2]) << "doubled backslash";
    }
    EXPECT_EQ("<>", TaggedLine(output, "FOLDER 6"));
    EXPECT_EQ("<>", TaggedLine(output, "FOLDER -1"));
    EXPECT_EQ(kInvalidTypeErrors, ErrorLines(output));
}

TEST_F(PlatformInfoTest, SpecialFoldersComeFromKnownFoldersSinceVista) {
    WineVersionForHost pretend("win10");
    const HostResult result = RunHost("special-folders");
    ASSERT_EQ(0u, result.exitCode) << result.output;
    const std::string programFiles = KnownFolder(FOLDERID_ProgramFilesX86);
    ExpectFolders(result.output, {KnownFolder(FOLDERID_LocalAppDataLow), KnownFolder(FOLDERID_LocalAppData),
                                  KnownFolder(FOLDERID_RoamingAppData), KnownFolder(FOLDERID_ProgramData),
                                  programFiles, programFiles});
}

std::string FolderById(int csidl) {
    char path[MAX_PATH + 1] = {};
    EXPECT_EQ(S_OK, ::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_DEFAULT, path));
    return std::string(path) + "\\";
}

// Before Vista there is no low-integrity folder: kind 0 falls back to the local application data.
TEST_F(PlatformInfoTest, SpecialFoldersComeFromFolderIdentifiersOnWindows2003) {
    WineVersionForHost pretend("win2003");
    const HostResult result = RunHost("special-folders");
    ASSERT_EQ(0u, result.exitCode) << result.output;
    const std::string localAppData = FolderById(CSIDL_LOCAL_APPDATA);
    const std::string programFiles = FolderById(CSIDL_PROGRAM_FILESX86);
    ExpectFolders(result.output, {localAppData, localAppData, FolderById(CSIDL_APPDATA),
                                  FolderById(CSIDL_COMMON_APPDATA), programFiles, programFiles});
    EXPECT_NE(std::string::npos, result.output.find(VersionLine(5, "Windows 2003 Server")));
}

// Only the wide callback registered: messages are converted; a narrow one then takes over.
TEST_F(PlatformInfoTest, WideCallbackGetsConvertedMessagesUntilANarrowOneIsRegistered) {
    const HostResult result = RunHost("wide-messages");
    ASSERT_EQ(0u, result.exitCode) << result.output;
    auto hex = [](const std::wstring& text) {
        std::string units;
        char unit[8];
        for (wchar_t c : text) {
            std::snprintf(unit, sizeof unit, " %04x", static_cast<unsigned>(c));
            units += unit;
        }
        return units;
    };
    const std::vector<std::string> lines = SplitLines(result.output);
    const std::vector<std::string> expected = {
        "WI" + hex(L"Pfad <C:\\Daten> f\u00fcr 7"),
        "WE" + hex(L"Fehler im Format des Tracing-Strings!"),
        "WE" + hex(L"Fehler beim Konvertieren der Log-Meldung!"),
        "I nur schmal",
        "E Fehler im Format des Tracing-Strings!",
        "WE" + hex(L"Fehler im Format des Tracing-Strings!"),
    };
    EXPECT_EQ(expected, lines);
}

}  // namespace
