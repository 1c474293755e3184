// Per-user configuration and log directories: their guesses below the user's folders, the
// registry, the alternative log directory and the temporary folder, and the Windows-version rule
// of the log getter through the real RtlGetVersion of a host that Wine presents as another version.
#include "getter_support.h"

#include <gtest/gtest.h>

#include <knownfolders.h>

#include <string>
#include <vector>

namespace {

using namespace dirlib_test;
using Lines = std::vector<std::string>;

constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr wchar_t kRoamingValue[] = L"AppData";

class UserKonfigLogDirs : public ::testing::Test {
protected:
    // A program directory of the component on the scratch drive.
    void SetProgDir(const std::string& component) {
        const std::string dir = scratch_.path() + "prog";
        ::CreateDirectoryA(dir.c_str(), nullptr);
        SetComponentDirs(registry_, component, scratch_.path(), "prog");
    }

    VendorRegistry registry_;
    KorvanTrees trees_;
    ScratchDir scratch_{"userlog"};
    const std::string roaming_ = KnownFolder(FOLDERID_RoamingAppData);
    const std::string localLow_ = KnownFolder(FOLDERID_LocalAppDataLow);
};

TEST_F(UserKonfigLogDirs, UserKonfigDirIsCreatedBelowRoamingAppData) {
    const std::string expected = roaming_ + "Korvan\\Konfig\\X0000303\\";
    const GetterRun run = RunGetter("user-konfig X0000303 1");
    const Lines head = {
        "I LBS_GetKonfigDirCurrentUser: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet",
        "I _GuessLocalUserKonfigDir: Benutzerspezifischer Konfigpfad <" + expected + ">",
        "I _GuessLocalUserKonfigDir: Versuchen Konfigpfad \"" + expected + "\" anzulegen.",
    };
    const Lines tail = {
        "I LBS_GetKonfigDirCurrentUser: Lokales Konfigverzeichnis \xfc" "ber Alternative ermittelt: \"" + expected + "\"",
        "I LBS_GetKonfigDirCurrentUser: KonfigPfad des Benutzers <X0000303> = \"" + expected + "\"",
    };
    ASSERT_GE(run.lines.size(), head.size() + tail.size());
    EXPECT_EQ(head, Lines(run.lines.begin(), run.lines.begin() + head.size()));
    EXPECT_EQ(tail, Lines(run.lines.end() - tail.size(), run.lines.end()));
    EXPECT_EQ(expected, run.result);
    EXPECT_TRUE(IsDirectory(expected));

    // Found at once the second time.
    const GetterRun again = RunGetter("user-konfig X0000303 1");
    EXPECT_EQ(4u, again.lines.size());
    EXPECT_EQ(expected, again.result);
}

TEST_F(UserKonfigLogDirs, UserKonfigDirWithoutCreateFallsToTheTemporaryPathWithoutCreating) {
    const TempDirOverride temp(scratch_.path());
    const GetterRun run = RunGetter("user-konfig X0000302 0");
    const std::string expected = scratch_.path() + "Low\\Korvan\\Konfig\\MirelCompact\\";
    const Lines lines = {
        "I LBS_GetKonfigDirCurrentUser: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet",
        "I _GuessLocalUserKonfigDir: Benutzerspezifischer Konfigpfad <" + roaming_ + "Korvan\\Konfig\\MirelCompact\\>",
        "I _GuessLocalUserKonfigDir: Immer noch kein Konfig-Verzeichnis, versuchen es mit TempDir + KorvanPfad",
        "I LSB_GetTempDir: Tempor\xe4rer Pfad = \"" + scratch_.path() + "\"",
        "I LBS_GetKonfigDirCurrentUser: Lokales Konfigverzeichnis \xfc" "ber Alternative ermittelt: \"" + expected + "\"",
        "E LBS_GetKonfigDirCurrentUser: konnten keinen KonfigPfad des Benutzers f\xfcr <X0000302> ermitteln!",
    };
    EXPECT_EQ(lines, run.lines);
    EXPECT_EQ(expected, run.result);
    EXPECT_FALSE(IsDirectory(scratch_.path() + "Low"));
    EXPECT_FALSE(IsDirectory(roaming_ + "Korvan"));
}

// A Korvan tree that is a file blocks every candidate below the user's folder.
TEST_F(UserKonfigLogDirs, UncreatableRoamingCandidateFallsToTheTemporaryFolder) {
    const TempDirOverride temp(scratch_.path());
    WriteFileText(roaming_ + "Korvan", "x");
    const GetterRun run = RunGetter("user-konfig X0000303 1");
    const std::string expected = scratch_.path() + "Low\\Korvan\\Konfig\\X0000303\\";
    EXPECT_EQ(expected, run.result);
    EXPECT_TRUE(IsDirectory(expected));
    EXPECT_TRUE(HasLineStartingWith(run, "_CreateDirectory: Angeforderter Pfad ist eine Datei (<"));
    EXPECT_TRUE(HasLineStartingWith(run, "_GuessLocalUserKonfigDir: Versuchen Konfigpfad \"" + expected + "\" anzulegen."));
}

TEST_F(UserKonfigLogDirs, LogDirIsCreatedBelowLocalAppDataLow) {
    const std::string expected = localLow_ + "Korvan\\Log\\Mirel\\";
    const GetterRun run = RunGetter("log X0000305 1");
    EXPECT_EQ(expected, run.result);
    EXPECT_TRUE(IsDirectory(expected));
    ASSERT_GE(run.lines.size(), 3u);
    EXPECT_EQ("I LBS_GetLogDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet", run.lines[0]);
    EXPECT_EQ("I _GuessLocalLogDir: Benutzerspezifischer Logpfad <" + expected + ">", run.lines[1]);
    EXPECT_EQ("I LBS_GetLogDir: LogPfad <X0000305> = \"" + expected + "\"", run.lines.back());
}

TEST_F(UserKonfigLogDirs, AlternativeLogDirectoryServesOnlyX0000303) {
    const std::string alternative = scratch_.path() + "alt";
    ASSERT_TRUE(::CreateDirectoryA(alternative.c_str(), nullptr));
    registry_.SetSetting("LocbaseLogDirX0000302", alternative);

    GetterRun run = RunGetter("log X0000303 0");
    EXPECT_EQ(alternative + "\\", run.result);
    const Lines lines = {
        "I LBS_GetLogDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet",
        "I LBS_GetLogDir: LogPfad <X0000303> = \"" + alternative + "\\\"",
    };
    EXPECT_EQ(lines, run.lines);

    run = RunGetter("log X0000302 0");
    EXPECT_NE(alternative + "\\", run.result);
    EXPECT_EQ("", run.result) << "no candidate of the trace component exists";
}

TEST_F(UserKonfigLogDirs, LogGuessWithoutCreateReturnsTheRegistryDirectoryAsItIs) {
    GetterRun run = RunGetter("guess-log X0000303 0");
    EXPECT_EQ("", run.result);
    const Lines lines = {
        "I _GuessLocalLogDir: Benutzerspezifischer Logpfad <" + localLow_ + "Korvan\\Log\\Mirel\\>",
        "I _GuessLocalLogDir: Logpfad <> \xfc" "ber Registry ermittelt.",
    };
    EXPECT_EQ(lines, run.lines);

    SetComponentDir(registry_, "X0000303", "LogDir", scratch_.path() + "fehlt");
    run = RunGetter("guess-log X0000303 0");
    EXPECT_EQ(scratch_.path() + "fehlt\\", run.result);
    EXPECT_FALSE(IsDirectory(scratch_.path() + "fehlt"));
    EXPECT_FALSE(IsDirectory(localLow_ + "Korvan"));
}

// No usable folder below LocalLow, a registry log directory on a missing drive: the same path on
// the program directory's drive, in lower case, is created and returned.
TEST_F(UserKonfigLogDirs, LogGuessMovesAnUncreatableRegistryDirectoryToTheProgramDrive) {
    ASSERT_EQ(static_cast<UINT>(DRIVE_NO_ROOT_DIR), ::GetDriveTypeA("Q:\\"));
    WriteFileText(localLow_ + "Korvan", "x");
    const std::string rest = scratch_.path().substr(1) + "log";
    SetComponentDir(registry_, "X0000303", "LogDir", "Q" + rest);
    SetProgDir("X0000303");
    const std::string drive(1, static_cast<char>(::tolower(static_cast<unsigned char>(scratch_.path()[0]))));

    const GetterRun run = RunGetter("guess-log X0000303 1");
    EXPECT_EQ(drive + rest + "\\", run.result);
    EXPECT_TRUE(IsDirectory(scratch_.path() + "log"));
    EXPECT_TRUE(HasLineStartingWith(run, "_GuessLocalLogDir: Versuchen Logpfad \"Q" + rest + "\\\" anzulegen."));
    EXPECT_FALSE(HasLineStartingWith(run, "_GuessLocalLogDir: Immer noch kein Log-Verzeichnis"));
}

TEST_F(UserKonfigLogDirs, LogGuessLastResortIsTheTemporaryFolder) {
    const TempDirOverride temp(scratch_.path());
    WriteFileText(localLow_ + "Korvan", "x");
    const GetterRun run = RunGetter("log X0000309 1");
    const std::string expected = scratch_.path() + "Low\\Korvan\\Log\\X0000309\\";
    EXPECT_EQ(expected, run.result);
    EXPECT_TRUE(IsDirectory(expected));
    EXPECT_TRUE(HasLineStartingWith(run, "_GuessLocalLogDir: Immer noch kein Log-Verzeichnis, versuchen es mit TempDir + KorvanPfad"));
    EXPECT_EQ("I LBS_GetLogDir: LogPfad <X0000309> = \"" + expected + "\"", run.lines.back());
}

// The roaming folder redirected to a name the ANSI code page cannot hold: the library gets no
// folder and goes straight to the temporary path.
TEST_F(UserKonfigLogDirs, RoamingFolderOutsideTheAnsiCodePageIsSkipped) {
    const TempDirOverride temp(scratch_.path());
    const std::wstring wideScratch(scratch_.path().begin(), scratch_.path().end());
    const WideDir redirectedDir(wideScratch + L"Roaming\x4e2d");
    const std::wstring& redirected = redirectedDir.path();

    tesk::UniqueHkey folders;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, folders.put()));
    wchar_t saved[MAX_PATH + 1] = {};
    DWORD savedSize = sizeof saved - sizeof(wchar_t);
    DWORD savedType = 0;
    ASSERT_EQ(ERROR_SUCCESS, ::RegQueryValueExW(folders.get(), kRoamingValue, nullptr, &savedType,
                                                reinterpret_cast<BYTE*>(saved), &savedSize));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(folders.get(), kRoamingValue, 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(redirected.c_str()),
                                              static_cast<DWORD>((redirected.size() + 1) * sizeof(wchar_t))));
    const GetterRun run = RunGetter("user-konfig X0000303 0");
    ::RegSetValueExW(folders.get(), kRoamingValue, 0, savedType, reinterpret_cast<const BYTE*>(saved), savedSize);

    const Lines lines = {
        "I LBS_GetKonfigDirCurrentUser: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet",
        "I _GuessLocalUserKonfigDir: Immer noch kein Konfig-Verzeichnis, versuchen es mit TempDir + KorvanPfad",
        "I LSB_GetTempDir: Tempor\xe4rer Pfad = \"" + scratch_.path() + "\"",
        "I LBS_GetKonfigDirCurrentUser: Lokales Konfigverzeichnis \xfc" "ber Alternative ermittelt: \"" + scratch_.path() +
            "Low\\Korvan\\Konfig\\X0000303\\\"",
        "E LBS_GetKonfigDirCurrentUser: konnten keinen KonfigPfad des Benutzers f\xfcr <X0000303> ermitteln!",
    };
    EXPECT_EQ(lines, run.lines);
    EXPECT_EQ(scratch_.path() + "Low\\Korvan\\Konfig\\X0000303\\", run.result);
    EXPECT_EQ(roaming_, KnownFolder(FOLDERID_RoamingAppData)) << "the user's folder is restored";
}

class LogDirOnWindowsVersion : public ::testing::Test {
protected:
    void SetUp() override { registry_.SetSetting("LocbaseActive", "ein"); }

    GetterRun RunAs(const std::string& version) {
        host_.SetVersion(version);
        return host_.RunGetter("log X0000303 0");
    }

    VendorRegistry registry_;
    KorvanTrees trees_;
    VersionedHost host_;
};

TEST_F(LogDirOnWindowsVersion, WindowsServer2003AsksTheService) {
    const GetterRun run = RunAs("win2003");
    EXPECT_TRUE(HasLineStartingWith(run, "LBS_GetOsVersion: \"5\" (Windows 2003 Server)")) << run.output;
    EXPECT_TRUE(HasLineStartingWith(run, "_GetValueFromLocbase:")) << run.output;
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ("I LBS_GetLogDir: Via Locbase kein LogPfad ermittelbar.", run.lines[0]);
}

TEST_F(LogDirOnWindowsVersion, WindowsXpAsksTheService) {
    const GetterRun run = RunAs("winxp64");
    EXPECT_TRUE(HasLineStartingWith(run, "_GetValueFromLocbase:")) << run.output;
    EXPECT_FALSE(HasLineStartingWith(run, "LBS_GetLogDir: Zugriff auf Locbase ist abgeschaltet"));
}

TEST_F(LogDirOnWindowsVersion, LaterWindowsNeverAsksTheService) {
    for (const char* version : {"win10", "vista", "win81"}) {
        const GetterRun run = RunAs(version);
        EXPECT_FALSE(HasLineStartingWith(run, "_GetValueFromLocbase:")) << version << run.output;
        ASSERT_FALSE(run.lines.empty()) << version;
        EXPECT_EQ("I LBS_GetLogDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet", run.lines[0])
            << version;
    }
    EXPECT_TRUE(HasLineStartingWith(RunAs("win10"), "LBS_GetOsVersion: \"18\" (Windows 10)"));
}

}  // namespace
