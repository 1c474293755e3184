// Data directory chain, temporary directory and its low-integrity variant. The hosts get a
// temporary directory of the test's own through TMP and TEMP.
#include "getter_support.h"

#include <gtest/gtest.h>

#include <knownfolders.h>

#include <string>
#include <vector>

namespace {

using namespace dirlib_test;
using Lines = std::vector<std::string>;

// Lines of the data getter and its guess only, in order.
Lines DataLines(const GetterRun& run) {
    Lines own;
    for (const std::string& line : run.lines) {
        if (line.compare(2, 15, "LBS_GetDataDir:") == 0 || line.compare(2, 19, "_GuessLocalDataDir:") == 0) {
            own.push_back(line);
        }
    }
    return own;
}

class DataTempDirs : public ::testing::Test {
protected:
    // X0000303 inside a Korvan environment: system directory and a program directory carrying the
    // identifier.
    std::string EnterKorvanEnvironment() {
        const std::string progDir = scratch_.path() + "X0000303";
        EXPECT_TRUE(::CreateDirectoryA(progDir.c_str(), nullptr));
        SetComponentDirs(registry_, "X0000303", scratch_.path(), "X0000303");
        SetSystemDir(registry_, scratch_.path());
        return progDir + "\\";
    }

    VendorRegistry registry_;
    KorvanTrees trees_;
    ScratchDir scratch_{"data"};
    const std::string programData_ = KnownFolder(FOLDERID_ProgramData);
};

TEST_F(DataTempDirs, OutsideKorvanEnvironmentTheDataDirectoryIsCreatedBelowProgramData) {
    const std::string expected = programData_ + "Korvan\\Daten\\X0000303\\Data";
    const GetterRun run = RunGetter("data X0000303 1 Data");
    const Lines lines = {
        "I LBS_GetDataDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet",
        "I _GuessLocalDataDir: Keine Korvan-Umgebung, nehmen ProgrammData-Verzeichnis.",
        "I LBS_GetDataDir: Lokales Datenverzeichnis \xfc" "ber Alternative ermittelt: \"" + expected + "\"",
        "I LBS_GetDataDir: Datenpfad <X0000303> = \"" + expected + "\"",
    };
    EXPECT_EQ(lines, DataLines(run));
    EXPECT_EQ(expected + "\\", run.result);
    EXPECT_TRUE(IsDirectory(expected));
}

TEST_F(DataTempDirs, EmptyDataDirectoryNameAppendsNothing) {
    const std::string expected = programData_ + "Korvan\\Daten\\X0000303\\";
    GetterRun run = RunGetter("data X0000303 1 \"\"");
    EXPECT_EQ(expected, run.result);
    EXPECT_TRUE(IsDirectory(expected));

    const TempDirOverride temp(scratch_.path());
    EnterKorvanEnvironment();
    run = RunGetter("data X0000303 1 \"\"");
    EXPECT_EQ(scratch_.path() + "Low\\Korvan\\Daten\\X0000303\\", run.result);
    EXPECT_TRUE(IsDirectory(run.result));
}

TEST_F(DataTempDirs, InsideKorvanEnvironmentTheTemporaryFolderIsNext) {
    const TempDirOverride temp(scratch_.path());
    EnterKorvanEnvironment();
    const std::string expected = scratch_.path() + "Low\\Korvan\\Daten\\X0000303\\Data";
    const GetterRun run = RunGetter("data X0000303 1 Data");
    const Lines lines = {
        "I LBS_GetDataDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet",
        "I _GuessLocalDataDir: Immer noch kein Daten-Verzeichnis, versuchen es mit TempDirLow + KorvanPfad.",
        "I LBS_GetDataDir: Lokales Datenverzeichnis \xfc" "ber Alternative ermittelt: \"" + expected + "\"",
        "I LBS_GetDataDir: Datenpfad <X0000303> = \"" + expected + "\"",
    };
    EXPECT_EQ(lines, DataLines(run));
    EXPECT_EQ(expected + "\\", run.result);
    EXPECT_TRUE(IsDirectory(expected));
    EXPECT_FALSE(IsDirectory(programData_ + "Korvan"));
}

TEST_F(DataTempDirs, WithoutCreateNothingIsCreatedAndTheLastCandidateReturned) {
    GetterRun run = RunGetter("data X0000303 0 Data");
    EXPECT_EQ(programData_ + "Korvan\\Daten\\X0000303\\", run.result);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ("E LBS_GetDataDir: Konnten keinen Datenpfad f\xfcr <X0000303> ermitteln!", run.lines.back());
    EXPECT_FALSE(IsDirectory(programData_ + "Korvan"));

    // Inside a Korvan environment the registry candidate stands, missing as it is.
    const TempDirOverride temp(scratch_.path());
    EnterKorvanEnvironment();
    SetDataDir(registry_, "X0000303", "Data", scratch_.path() + "fehlt");
    run = RunGetter("data X0000303 0 Data");
    EXPECT_EQ(scratch_.path() + "fehlt\\", run.result);
    EXPECT_FALSE(IsDirectory(scratch_.path() + "fehlt"));
    EXPECT_FALSE(IsDirectory(scratch_.path() + "Low"));
}

TEST_F(DataTempDirs, RegistryDataDirectoryIsCreatedWhereItNames) {
    SetDataDir(registry_, "X0000303", "Archiv", scratch_.path() + "archiv");
    const GetterRun run = RunGetter("data X0000303 1 Archiv");
    const Lines lines = {
        "I LBS_GetDataDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet",
        "I _GuessLocalDataDir: Datenpfad <" + scratch_.path() + "archiv\\> \xfc" "ber Registry ermittelt.",
        "I _GuessLocalDataDir: Versuchen Datenpfad \"" + scratch_.path() + "archiv\\\" anzulegen.",
        "I LBS_GetDataDir: Lokales Datenverzeichnis \xfc" "ber Alternative ermittelt: \"" + scratch_.path() + "archiv\\\"",
        "I LBS_GetDataDir: Datenpfad <X0000303> = \"" + scratch_.path() + "archiv\\\"",
    };
    EXPECT_EQ(lines, DataLines(run));
    EXPECT_TRUE(IsDirectory(scratch_.path() + "archiv"));
}

// A data directory on a drive that does not exist moves to the program directory's drive.
TEST_F(DataTempDirs, RegistryDataDirectoryOnAMissingDriveMovesToTheProgramDrive) {
    ASSERT_EQ(static_cast<UINT>(DRIVE_NO_ROOT_DIR), ::GetDriveTypeA("Q:\\"));
    ASSERT_EQ(':', scratch_.path()[1]);
    const std::string rest = scratch_.path().substr(1) + "daten";
    SetDataDir(registry_, "X0000303", "Data", "Q" + rest);
    EnterKorvanEnvironment();
    const std::string drive(1, static_cast<char>(::tolower(static_cast<unsigned char>(scratch_.path()[0]))));

    const GetterRun run = RunGetter("data X0000303 1 Data");
    EXPECT_EQ(drive + rest + "\\", run.result);
    EXPECT_TRUE(IsDirectory(scratch_.path() + "daten"));
    EXPECT_TRUE(HasLineStartingWith(run, "LBS_CreateDirectory: Fehler <"));
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ("I LBS_GetDataDir: Datenpfad <X0000303> = \"" + drive + rest + "\\\"", run.lines.back());
}

// Creation fails below a file; the getter reports and still returns its last candidate.
TEST_F(DataTempDirs, UncreatableTemporaryCandidateIsReturnedWithAnError) {
    WriteFileText(scratch_.path() + "datei", "x");
    const TempDirOverride temp(scratch_.path() + "datei\\");
    EnterKorvanEnvironment();
    const GetterRun run = RunGetter("data X0000303 1 Data");
    EXPECT_EQ(scratch_.path() + "datei\\Low\\Korvan\\Daten\\X0000303\\", run.result);
    EXPECT_TRUE(HasLineStartingWith(run, "LBS_CreateDirectory: Fehler <"));
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ("E LBS_GetDataDir: Konnten keinen Datenpfad f\xfcr <X0000303> ermitteln!", run.lines.back());
    EXPECT_EQ("x", ReadFileBytes(scratch_.path() + "datei"));
}

// A temporary directory the ANSI code page cannot hold arrives with '?' in it, which no
// directory can be named: the getters report the failed creation and go on.
TEST_F(DataTempDirs, TemporaryDirectoryOutsideTheAnsiCodePage) {
    const std::wstring wideScratch(scratch_.path().begin(), scratch_.path().end());
    const WideDir unrepresentable(wideScratch + L"temp\x4e2d");
    const TempDirOverride temp(unrepresentable.path() + L"\\");
    EnterKorvanEnvironment();

    GetterRun run = RunGetter("temp");
    EXPECT_EQ(scratch_.path() + "temp?\\", run.result);
    run = RunGetter("data X0000303 1 Data");
    EXPECT_EQ(scratch_.path() + "temp?\\Low\\Korvan\\Daten\\X0000303\\", run.result);
    EXPECT_TRUE(HasLineStartingWith(run, "LBS_CreateDirectory: Fehler <"));
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ("E LBS_GetDataDir: Konnten keinen Datenpfad f\xfcr <X0000303> ermitteln!", run.lines.back());
}

TEST_F(DataTempDirs, TemporaryDirectoryIsReportedAsTheSystemGivesIt) {
    const TempDirOverride temp(scratch_.path());
    const GetterRun run = RunGetter("temp");
    EXPECT_EQ(scratch_.path(), run.result);
    EXPECT_EQ(Lines{"I LSB_GetTempDir: Tempor\xe4rer Pfad = \"" + scratch_.path() + "\""}, run.lines);
}

TEST_F(DataTempDirs, LowSuffixOnlyWhenTheTemporaryPathHasNoBackslashLow) {
    struct Case {
        std::string temp;
        std::string expected;
    };
    const Case cases[] = {
        {scratch_.path(), scratch_.path() + "Low\\"},
        {scratch_.path() + "Temp\\Low\\", scratch_.path() + "Temp\\Low\\"},
        {scratch_.path() + "Lowland\\", scratch_.path() + "Lowland\\"},
        {scratch_.path() + "low\\", scratch_.path() + "low\\Low\\"},
        {scratch_.path() + "xLow\\", scratch_.path() + "xLow\\Low\\"},
    };
    for (const Case& c : cases) {
        const TempDirOverride temp(c.temp);
        EXPECT_EQ(c.expected, RunGetter("temp-low").result) << c.temp;
    }
    EXPECT_FALSE(IsDirectory(scratch_.path() + "Low")) << "nothing is created for the suffix";
}

}  // namespace
