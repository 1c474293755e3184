// The getters with "LocbaseActive" on, against the configuration server registered with regsvr32:
// what the service answers comes first, and every kind of bad answer falls back to the registry
// and the guesses.
#include "confserver/service_test_support.h"
#include "getter_support.h"

#include <gtest/gtest.h>

#include <knownfolders.h>

#include <string>
#include <vector>

namespace {

using namespace dirlib_test;
using confsvc_test::kServiceKey;
using confsvc_test::RegisteredServer;
using Lines = std::vector<std::string>;

class ServedGetters : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0u, server_.registerExitCode());
        registry_.SetSetting("LocbaseActive", "ein");
    }

    // Answers of one method, for every component or only for one.
    void Answer(const std::string& name, const std::string& text, const std::string& component = "") {
        registry_.SetString(component.empty() ? kServiceKey : std::string(kServiceKey) + "\\" + component, name, text);
    }
    void AnswerNumber(const std::string& name, DWORD value) { registry_.SetValue(kServiceKey, name, REG_DWORD, &value, sizeof value); }

    // The program directory as the service gives it: base, backslash, program part.
    void AnswerProgramPath(const std::string& base, const std::string& program, const std::string& component = "X0000303") {
        Answer("GetProgramPath", base, component);
        Answer("GetProgramPath.2", program, component);
    }

    std::string Dir(const std::string& name) {
        const std::string dir = scratch_.path() + name;
        ::CreateDirectoryA(dir.c_str(), nullptr);
        return dir + "\\";
    }
    std::string Base() const { return scratch_.path().substr(0, scratch_.path().size() - 1); }

    VendorRegistry registry_;
    DesktopReady desktop_;
    RegisteredServer server_;
    KorvanTrees trees_;
    ScratchDir scratch_{"served"};
};

TEST_F(ServedGetters, ProgDirFromTheServiceWinsOverTheRegistry) {
    const std::string served = Dir("Prog");
    SetComponentDirs(registry_, "X0000303", scratch_.path(), "Registry");
    Dir("Registry");
    AnswerProgramPath(Base(), "Prog");
    const GetterRun run = RunGetter("prog X0000303 0");
    EXPECT_EQ(served, run.result);
    EXPECT_EQ(Lines{"I LBS_GetProgDir: Programmpfad <X0000303> = \"" + served + "\""}, run.lines);
    EXPECT_TRUE(HasLineStartingWith(run, "_GetValueFromLocbase: Via Locbase ermittelter Wert <" + served + ">"));
}

TEST_F(ServedGetters, ServicePathEndingInABackslashKeepsOne) {
    const std::string served = Dir("Prog");
    AnswerProgramPath(Base(), "Prog\\");
    EXPECT_EQ(served, RunGetter("prog X0000303 0").result);
}

TEST_F(ServedGetters, MissingServiceProgDirFallsBackToTheRegistry) {
    const std::string registered = Dir("Registry");
    SetComponentDirs(registry_, "X0000303", scratch_.path(), "Registry");
    AnswerProgramPath(Base(), "fehlt");
    const GetterRun run = RunGetter("prog X0000303 0");
    const Lines expected = {
        "I LBS_GetProgDir: Programmpfad via Locbase existiert nicht: \"" + scratch_.path() + "fehlt\\\"",
        "I LBS_GetProgDir: Programmpfad <" + registered + "> \xfc" "ber Registry ermittelt.",
        "I LBS_GetProgDir: Programmpfad <X0000303> = \"" + registered + "\"",
    };
    EXPECT_EQ(expected, run.lines);
    EXPECT_EQ(registered, run.result);
}

// A null second string, a failing HRESULT, a non-zero error number: no service value at all.
TEST_F(ServedGetters, UnusableServiceAnswersFallBackToTheRegistry) {
    const std::string registered = Dir("Registry");
    SetComponentDirs(registry_, "X0000303", scratch_.path(), "Registry");
    const Lines expected = {
        "I LBS_GetProgDir: Via Locbase kein Programmpfad ermittelbar.",
        "I LBS_GetProgDir: Programmpfad <" + registered + "> \xfc" "ber Registry ermittelt.",
        "I LBS_GetProgDir: Programmpfad <X0000303> = \"" + registered + "\"",
    };

    Dir("Prog");
    Answer("GetProgramPath", Base(), "X0000303");
    GetterRun run = RunGetter("prog X0000303 0");
    EXPECT_EQ(expected, run.lines) << "null second string";

    AnswerProgramPath(Base(), "Prog");
    AnswerNumber("GetProgramPath.HResult", static_cast<DWORD>(E_ACCESSDENIED));
    run = RunGetter("prog X0000303 0");
    EXPECT_EQ(expected, run.lines) << "failing HRESULT";
    EXPECT_TRUE(HasLineStartingWith(run, "_GetValueFromLocbase: Exception ComError gefangen <0x80070005>"));

    AnswerNumber("GetProgramPath.HResult", S_OK);
    AnswerNumber("GetProgramPath.Error", 7);
    run = RunGetter("prog X0000303 0");
    EXPECT_EQ(expected, run.lines) << "error number";
    EXPECT_TRUE(HasLineStartingWith(run, "_GetValueFromLocbase: Locbase-Fehlernummer <7>"));
}

TEST_F(ServedGetters, HundredThousandCharacterServicePathIsReportedAndPassedOver) {
    const std::string huge(100000, 'p');
    AnswerProgramPath("C:", huge);
    const GetterRun run = RunGetter("prog X0000303 0");
    ASSERT_EQ(0u, run.exitCode) << run.output.substr(0, 2000);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ("I LBS_GetProgDir: Programmpfad via Locbase existiert nicht: \"C:\\" + huge + "\\\"", run.lines[0]);
    ASSERT_FALSE(run.result.empty());
    EXPECT_LT(run.result.size(), static_cast<size_t>(MAX_PATH)) << "the module directory, not the service's path";
    EXPECT_TRUE(IsDirectory(run.result));
}

TEST_F(ServedGetters, KonfigDirFromTheService) {
    const std::string served = Dir("Konfig");
    Answer("GetConfigPath", served, "X0000303");
    const GetterRun run = RunGetter("konfig X0000303");
    EXPECT_EQ(served, run.result);
    EXPECT_EQ(Lines{"I LBS_GetKonfigDir: KonfigPfad <X0000303> = \"" + served + "\""}, run.lines);
}

TEST_F(ServedGetters, MissingUserKonfigDirFromTheServiceIsCreatedWhenAsked) {
    const std::string served = scratch_.path() + "Benutzer\\Konfig\\";
    Answer("GetUserConfigPath", scratch_.path() + "Benutzer\\Konfig");
    const TempDirOverride temp(scratch_.path());

    // Without create nothing exists anywhere: the last guess below the temporary folder stands.
    GetterRun run = RunGetter("user-konfig X0000303 0");
    EXPECT_FALSE(IsDirectory(served));
    EXPECT_EQ(scratch_.path() + "Low\\Korvan\\Konfig\\X0000303\\", run.result);

    run = RunGetter("user-konfig X0000303 1");
    EXPECT_EQ(served, run.result);
    EXPECT_TRUE(IsDirectory(served));
    ASSERT_GE(run.lines.size(), 3u);
    EXPECT_EQ("I LBS_GetKonfigDirCurrentUser: KonfigPfad des Benutzers via Locbase existiert nicht: \"" + served + "\"",
              run.lines[0]);
    EXPECT_EQ("I LBS_GetKonfigDirCurrentUser: Versuchen KonfigPfad des Benutzers \"" + served + "\" anzulegen.", run.lines[1]);
    EXPECT_EQ("I LBS_GetKonfigDirCurrentUser: KonfigPfad des Benutzers <X0000303> = \"" + served + "\"", run.lines.back());
}

TEST_F(ServedGetters, DataDirFromTheServiceOfTheNamedArea) {
    const std::string archive = Dir("Archiv");
    Answer("GetDirPath", archive, "X0000303\\Archiv");
    GetterRun run = RunGetter("data X0000303 0 Archiv");
    EXPECT_EQ(archive, run.result);
    EXPECT_EQ(Lines{"I LBS_GetDataDir: Datenpfad <X0000303> = \"" + archive + "\""}, run.lines);

    // Another area of the same component has no answer: the guesses follow.
    run = RunGetter("data X0000303 1 Data");
    EXPECT_EQ(KnownFolder(FOLDERID_ProgramData) + "Korvan\\Daten\\X0000303\\Data\\", run.result);
    ASSERT_GE(run.lines.size(), 2u);
    EXPECT_EQ("I LBS_GetDataDir: Kein g\xfcltiges Datenverzeichnis von Locbase erhalten", run.lines[0]);
    EXPECT_EQ("I LBS_GetDataDir: Datenpfadname (available) via Locbase nicht ermittelbar!", run.lines[1]);
}

TEST_F(ServedGetters, MissingDataDirFromTheServiceIsCreatedWhenAsked) {
    const std::string served = scratch_.path() + "Daten\\";
    Answer("GetDirPath", scratch_.path() + "Daten");
    const GetterRun run = RunGetter("data X0000303 1 Data");
    EXPECT_EQ(served, run.result);
    EXPECT_TRUE(IsDirectory(served));
    ASSERT_GE(run.lines.size(), 2u);
    EXPECT_EQ("I LBS_GetDataDir: Kein g\xfcltiges Datenverzeichnis von Locbase erhalten", run.lines[0]);
    EXPECT_EQ("I LBS_GetDataDir: Versuchen Datenpfad \"" + served + "\" anzulegen.", run.lines[1]);
    EXPECT_EQ("I LBS_GetDataDir: Datenpfad <X0000303> = \"" + served + "\"", run.lines.back());
}

// The service's log directory counts on Windows XP and Server 2003 only.
TEST_F(ServedGetters, LogDirFromTheServiceOnlyOnOldWindows) {
    const std::string served = Dir("Log");
    Answer("GetLogPath", served);
    VersionedHost host;

    host.SetVersion("win2003");
    GetterRun run = host.RunGetter("log X0000303 0");
    EXPECT_EQ(served, run.result);
    EXPECT_EQ(Lines{"I LBS_GetLogDir: LogPfad <X0000303> = \"" + served + "\""}, run.lines);

    host.SetVersion("win7");
    run = host.RunGetter("log X0000303 0");
    EXPECT_NE(served, run.result);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ("I LBS_GetLogDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet", run.lines[0]);
}

// The service's system directory and a program directory carrying the identifier make a Korvan
// environment, in which the configuration guess takes the program directory.
TEST_F(ServedGetters, KorvanEnvironmentFromTheService) {
    Answer("GetSystemPath", Dir("System"));
    const std::string progDir = Dir("X0000303");
    AnswerProgramPath(Base(), "X0000303");
    EXPECT_EQ("true", RunGetter("korvan-env X0000303").result);
    const GetterRun run = RunGetter("konfig X0000303");
    EXPECT_EQ(progDir, run.result);
    for (const std::string& line : run.lines) EXPECT_EQ(std::string::npos, line.find("Keine Korvan-Umgebung")) << line;
}

}  // namespace
