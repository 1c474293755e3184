// Program and configuration directories and the Korvan environment test, each in a host process
// of its own with the registry records the case needs.
#include "getter_support.h"

#include <gtest/gtest.h>

#include <knownfolders.h>

#include <string>
#include <vector>

namespace {

using namespace dirlib_test;
using Lines = std::vector<std::string>;

// The host's directory as the library reports it: canonical, with a trailing backslash.
std::string HostDir() {
    char full[MAX_PATH + 1] = {};
    ::GetFullPathNameA(HostDirectory().c_str(), MAX_PATH, full, nullptr);
    return full;
}

// What LBS_GetProgDir writes with the service off and no registry record.
Lines ModuleFallbackLines(const std::string& component) {
    return {
        "I LBS_GetProgDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet",
        "I LBS_GetProgDir: Programmpfad <> \xfc" "ber Registry ermittelt.",
        "I LBS_GetProgDir: Via Registry kein Programmpfad ermittelbar.",
        "I LBS_GetProgDir: Programmpfad <" + component + "> = \"" + HostDir() + "\"",
    };
}

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class ProgramKonfigDirs : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(IsDirectory(HostDir())) << HostDir(); }

    // A program directory of X0000303 from its protected-directories record.
    std::string MakeProgDir(const std::string& name = "X0000303") {
        const std::string dir = scratch_.path() + name;
        EXPECT_TRUE(::CreateDirectoryA(dir.c_str(), nullptr));
        SetComponentDirs(registry_, "X0000303", scratch_.path(), name);
        return dir + "\\";
    }

    VendorRegistry registry_;
    KorvanTrees trees_;
    ScratchDir scratch_{"getters"};
};

TEST_F(ProgramKonfigDirs, ProgDirWithoutServiceAndRecordsIsTheModuleDirectory) {
    for (const std::string useDefault : {"0", "1"}) {
        const GetterRun run = RunGetter("prog X0000303 " + useDefault);
        ASSERT_EQ(0u, run.exitCode) << run.output;
        EXPECT_EQ(ModuleFallbackLines("X0000303"), run.lines) << "useDefaultPath " << useDefault;
        EXPECT_EQ(HostDir(), run.result);
    }
}

TEST_F(ProgramKonfigDirs, ProgDirFromTheRegistryEndsInOneBackslashAndIsRecorded) {
    const std::string progDir = MakeProgDir();
    registry_.SetSetting("LocbaseActive", "aus");
    registry_.SetSetting("LocbaseLibDirsActive", "ein");
    registry_.SetSetting("LocbaseLibDirsDirectory", scratch_.path());

    const GetterRun run = RunGetter("prog X0000303 0");
    // Every Init call, the getter's own included, announces the component-path log.
    const Lines expected = {
        "I Init: Pfade f\xfcr alle Komponenten werden bei jeder Abfrage nach <" + scratch_.path() +
            "Locbase_Lib_Dirs.log> ausgegeben",
        "I LBS_GetProgDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet",
        "I LBS_GetProgDir: Programmpfad <" + progDir + "> \xfc" "ber Registry ermittelt.",
        "I LBS_GetProgDir: Programmpfad <X0000303> = \"" + progDir + "\"",
    };
    EXPECT_EQ(expected, run.lines);
    EXPECT_EQ(progDir, run.result);

    const Lines recorded = SplitLines(ReadFileBytes(scratch_.path() + "Locbase_Lib_Dirs.log"));
    ASSERT_EQ(1u, recorded.size());
    const std::string tail = "] X0000303 Programm <" + progDir + ">";
    EXPECT_EQ(tail, recorded[0].substr(recorded[0].size() - std::min(tail.size(), recorded[0].size())));
}

TEST_F(ProgramKonfigDirs, MissingRegistryProgDirFallsBackToTheModuleDirectory) {
    SetComponentDirs(registry_, "X0000303", scratch_.path(), "fehlt");
    const GetterRun run = RunGetter("prog X0000303 0");
    const Lines expected = {
        "I LBS_GetProgDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet",
        "I LBS_GetProgDir: Programmpfad <" + scratch_.path() + "fehlt> \xfc" "ber Registry ermittelt.",
        "I LBS_GetProgDir: Programmpfad via Registry existiert nicht: \"" + scratch_.path() + "fehlt\"",
        "I LBS_GetProgDir: Programmpfad <X0000303> = \"" + HostDir() + "\"",
    };
    EXPECT_EQ(expected, run.lines);
    EXPECT_EQ(HostDir(), run.result);
}

TEST_F(ProgramKonfigDirs, TraceComponentDefaultPathIsReturnedEvenWhenMissing) {
    const std::string defaultDir = KnownFolder(FOLDERID_ProgramFilesX86) + "Korvan\\PROGRAMM\\MirelCompacT";
    const GetterRun run = RunGetter("prog X0000302 1");
    const Lines expected = {
        "I LBS_GetProgDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet",
        "I LBS_GetProgDir: Programmpfad <> \xfc" "ber Registry ermittelt.",
        "I LBS_GetProgDir: Via Registry kein Programmpfad ermittelbar.",
        "I LBS_GetProgDir: Default Programmpfad eingestellt.",
        "E LBS_GetProgDir: Konnten keinen Programmpfad f\xfcr <X0000302> ermitteln!",
    };
    EXPECT_EQ(expected, run.lines);
    EXPECT_EQ(defaultDir + "\\", run.result);
    EXPECT_FALSE(IsDirectory(defaultDir)) << "the program getter creates nothing";
}

TEST_F(ProgramKonfigDirs, TraceComponentProgDirComesFromProgKey) {
    registry_.SetSetting("ProgKey", scratch_.path().substr(0, scratch_.path().size() - 1));
    const GetterRun run = RunGetter("prog X0000302 0");
    EXPECT_EQ(scratch_.path(), run.result);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ("I LBS_GetProgDir: Programmpfad <X0000302> = \"" + scratch_.path() + "\"", run.lines.back());
}

// With the service on and the default path asked for, the registry is skipped.
TEST_F(ProgramKonfigDirs, DefaultPathWinsOverTheRegistryWhenTheServiceIsOn) {
    registry_.SetSetting("LocbaseActive", "ein");
    registry_.SetSetting("ProgKey", scratch_.path());
    const GetterRun run = RunGetter("prog X0000302 1");
    EXPECT_EQ(KnownFolder(FOLDERID_ProgramFilesX86) + "Korvan\\PROGRAMM\\MirelCompacT\\", run.result);
    const Lines expected = {
        "I LBS_GetProgDir: Via Locbase kein Programmpfad ermittelbar.",
        "I LBS_GetProgDir: Programmpfad <> \xfc" "ber Registry ermittelt.",
        "I LBS_GetProgDir: Via Registry kein Programmpfad ermittelbar.",
        "I LBS_GetProgDir: Default Programmpfad eingestellt.",
        "E LBS_GetProgDir: Konnten keinen Programmpfad f\xfcr <X0000302> ermitteln!",
    };
    EXPECT_EQ(expected, run.lines);
}

TEST_F(ProgramKonfigDirs, KonfigDirFromTheRegistry) {
    SetComponentDir(registry_, "X0000303", "ConfigDir", scratch_.path().substr(0, scratch_.path().size() - 1));
    const GetterRun run = RunGetter("konfig X0000303");
    const Lines expected = {
        "I LBS_GetKonfigDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet",
        "I _GuessLocalKonfigDir: Konfigpfad <" + scratch_.path() + "> \xfc" "ber Registry ermittelt.",
        "I LBS_GetKonfigDir: KonfigPfad \xfc" "ber Alternative ermittelt: \"" + scratch_.path() + "\"",
        "I LBS_GetKonfigDir: KonfigPfad <X0000303> = \"" + scratch_.path() + "\"",
    };
    EXPECT_EQ(expected, run.lines);
    EXPECT_EQ(scratch_.path(), run.result);
}

// The trace component has no configuration record; outside a Korvan environment the 32-bit program
// files are tried, then the program directory. Nothing is created on the way.
TEST_F(ProgramKonfigDirs, TraceComponentKonfigDirOutsideKorvanEnvironment) {
    SetComponentDir(registry_, "X0000302", "ConfigDir", scratch_.path());
    const std::string candidate = KnownFolder(FOLDERID_ProgramFilesX86) + "Korvan\\Konfig\\MirelCompact\\";
    GetterRun run = RunGetter("konfig X0000302");
    const Lines expected = Join({
        {"I LBS_GetKonfigDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet"},
        ModuleFallbackLines("X0000302"),
        {"I _GuessLocalKonfigDir: Keine Korvan-Umgebung, nehmen ProgrammData-Verzeichnis.",
         "E _GuessLocalKonfigDir: Verzeichnis <" + candidate + "> ist nicht vorhanden!",
         "I _GuessLocalKonfigDir: Immer noch kein Konfig-Verzeichnis, nehmen jetzt das Programmverzeichnis."},
        ModuleFallbackLines("X0000302"),
        {"I LBS_GetKonfigDir: KonfigPfad \xfc" "ber Alternative ermittelt: \"" + HostDir() + "\"",
         "I LBS_GetKonfigDir: KonfigPfad <X0000302> = \"" + HostDir() + "\""},
    });
    EXPECT_EQ(expected, run.lines);
    EXPECT_EQ(HostDir(), run.result);
    EXPECT_FALSE(IsDirectory(KnownFolder(FOLDERID_ProgramFilesX86) + "Korvan"));

    ASSERT_EQ(0, ::SHCreateDirectoryExA(nullptr, candidate.c_str(), nullptr));
    run = RunGetter("konfig X0000302");
    EXPECT_EQ(candidate, run.result);
}

TEST_F(ProgramKonfigDirs, KonfigDirInsideKorvanEnvironmentIsTheProgramDirectory) {
    const std::string progDir = MakeProgDir();
    SetSystemDir(registry_, scratch_.path());
    const GetterRun run = RunGetter("konfig X0000303");
    EXPECT_EQ(progDir, run.result);
    EXPECT_EQ("I LBS_GetKonfigDir: KonfigPfad \xfc" "ber Alternative ermittelt: \"" + progDir + "\"",
              run.lines[run.lines.size() - 2]);
    for (const std::string& line : run.lines) {
        EXPECT_EQ(std::string::npos, line.find("Keine Korvan-Umgebung")) << line;
    }
}

TEST_F(ProgramKonfigDirs, KorvanEnvironmentNeedsTheIdentifierInTheProgramDirectory) {
    SetSystemDir(registry_, scratch_.path());
    EXPECT_EQ("true", RunGetter("korvan-env \"\"").result);
    EXPECT_EQ("false", RunGetter("korvan-env X0000303").result) << "module directory without the identifier";
    MakeProgDir("Prog_X0000303_Neu");
    EXPECT_EQ("true", RunGetter("korvan-env X0000303").result);
    MakeProgDir("x0000303");
    EXPECT_EQ("false", RunGetter("korvan-env X0000303").result) << "the identifier is compared case-sensitively";
}

}  // namespace
