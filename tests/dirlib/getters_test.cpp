// The directory getters, one call per host process, with the vendor's records, the special
// folders' Korvan trees and the temporary folder each case sets up; then the same getters against
// the configuration server (its test build), whose answers come first when they are usable.
#include "host_client.h"
#include "test_support/com_server.h"
#include "test_support/files.h"
#include "test_support/korvan_folders.h"
#include "test_support/registry_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <regex>

using namespace test_support;

namespace {

using Lines = std::vector<std::string>;
const std::string kOff = "Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet";

// The getter's own lines: those of the version classifier and the service client have their tests.
Lines Own(const host::Run& run) {
    static const std::regex client(". (LBS_GetOsVersion|LBS_GetSys(tem|ten)Dir|_GetValueFromLocbase|_GetActiveDataDirFromLocbase|LBS_GetAvailableDataDirLocbase):.*");
    Lines own;
    std::copy_if(run.messages.begin(), run.messages.end(), std::back_inserter(own), [](const std::string& line) { return !std::regex_match(line, client); });
    return own;
}

// One case: its records, the call, the result, and lines: every own line in order when `exact`, else
// lines that must be among all of the run's lines.
struct Case {
    std::string name;
    std::function<void()> setup;
    std::string call, result;
    Lines lines;
    bool exact = true;
    Lines created = {}, absent = {};
};

class Getters : public ::testing::Test {
protected:
    void Records(const std::string& component, const std::string& subKey, const std::string& name, const std::string& value) {
        registry_.SetString(std::string(kVendorKey) + "\\Components\\" + component + "\\Versions\\2.0\\" + subKey, name, value);
    }
    void DataRecord(const std::string& name, const std::string& path) {
        registry_.SetString(std::string(kVendorKey) + "\\Components\\X0000303\\AvailableDataDirectories\\" + name + "\\Dir1", "", path);
    }
    // X0000303 in a Korvan environment: a system directory and a program directory carrying the identifier.
    void Korvan(const std::string& progName = "X0000303") {
        ::CreateDirectoryA((s_ + progName).c_str(), nullptr);
        Records("X0000303", "ProtectedDirectories", "FixedProgDir", s_);
        Records("X0000303", "ProtectedDirectories", "ProgDir", progName);
        registry_.SetString(std::string(kVendorKey) + "\\ProtectedDirectories", "SystemDir", s_);
    }
    void Play(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            VendorRegistry fresh;
            KorvanTrees trees;
            for (const auto& [name, value] : settings_) fresh.SetSetting(name, value);
            if (c.setup) c.setup();
            const TempDirOverride temp(temp_);
            const host::Run run = host::Start("call " + c.call, version_);
            EXPECT_EQ(c.result, run.result);
            // Exactly the getter's own lines in order, or the given lines among all of the run's.
            if (c.exact) { EXPECT_EQ(c.lines, Own(run)); }
            for (const std::string& line : c.exact ? Lines() : c.lines) EXPECT_EQ(1, std::count(run.messages.begin(), run.messages.end(), line)) << line;
            for (const std::string& dir : c.created) EXPECT_TRUE(IsDirectory(dir)) << dir;
            for (const std::string& dir : c.absent) EXPECT_FALSE(IsDirectory(dir)) << dir;
            RemoveTree(s_);
            ::CreateDirectoryA(s_.c_str(), nullptr);
            temp_ = s_;
        }
    }

    VendorRegistry registry_;
    ScratchDir scratch_{"getters"};
    const std::string s_ = scratch_.path();
    std::string temp_ = s_;
    std::vector<std::pair<std::string, std::string>> settings_;
    std::string version_;  // the Windows version Wine reports to the host, when set
    const std::string hostDir_ = host::Directory(), drive_ = std::string(1, static_cast<char>(::tolower(static_cast<unsigned char>(s_[0]))));
    const std::string programFiles_ = KnownFolder(FOLDERID_ProgramFilesX86), programData_ = KnownFolder(FOLDERID_ProgramData);
    const std::string roaming_ = KnownFolder(FOLDERID_RoamingAppData), localLow_ = KnownFolder(FOLDERID_LocalAppDataLow);
};

TEST_F(Getters, ProgramKonfigAndKorvanEnvironment) {
    const std::string prog = s_ + "X0000303\\", trace = programFiles_ + "Korvan\\PROGRAMM\\MirelCompacT\\";
    const Lines moduleFallback = {"I LBS_GetProgDir: " + kOff, "I LBS_GetProgDir: Programmpfad <> \xfc" "ber Registry ermittelt.",
                                  "I LBS_GetProgDir: Via Registry kein Programmpfad ermittelbar."};
    Lines module = moduleFallback;
    module.push_back("I LBS_GetProgDir: Programmpfad <X0000303> = \"" + hostDir_ + "\"");
    Lines traceDefault = moduleFallback;
    traceDefault.insert(traceDefault.end(), {"I LBS_GetProgDir: Default Programmpfad eingestellt.",
                                             "E LBS_GetProgDir: Konnten keinen Programmpfad f\xfcr <X0000302> ermitteln!"});
    Play({
        {"module directory without service and records", nullptr, "prog X0000303 1", hostDir_, module},
        {"registry, recorded in the component-path log",
         [&] {
             Korvan();
             registry_.SetSetting("LocbaseLibDirsActive", "ein");
             registry_.SetSetting("LocbaseLibDirsDirectory", s_);
         },
         "prog X0000303 0", prog,
         {"I Init: Pfade f\xfcr alle Komponenten werden bei jeder Abfrage nach <" + s_ + "Locbase_Lib_Dirs.log> ausgegeben",
          "I LBS_GetProgDir: " + kOff, "I LBS_GetProgDir: Programmpfad <" + prog + "> \xfc" "ber Registry ermittelt.",
          "I LBS_GetProgDir: Programmpfad <X0000303> = \"" + prog + "\""}},
        {"missing registry directory", [&] { Korvan("fehlt"); ::RemoveDirectoryA((s_ + "fehlt").c_str()); }, "prog X0000303 0", hostDir_,
         {"I LBS_GetProgDir: " + kOff, "I LBS_GetProgDir: Programmpfad <" + s_ + "fehlt> \xfc" "ber Registry ermittelt.",
          "I LBS_GetProgDir: Programmpfad via Registry existiert nicht: \"" + s_ + "fehlt\"",
          "I LBS_GetProgDir: Programmpfad <X0000303> = \"" + hostDir_ + "\""}},
        {"trace component's default, missing and not created", nullptr, "prog X0000302 1", trace, traceDefault, true, {}, {trace}},
        {"trace component's ProgKey", [&] { registry_.SetSetting("ProgKey", s_); }, "prog X0000302 0", s_,
         {"I LBS_GetProgDir: Programmpfad <X0000302> = \"" + s_ + "\""}, false},
        {"ProgKey not for an identifier differing in case", [&] { registry_.SetSetting("ProgKey", s_); }, "prog x0000302 0",
         hostDir_, {"I LBS_GetProgDir: Programmpfad <x0000302> = \"" + hostDir_ + "\""}, false},
        {"configuration record", [&] { Records("X0000303", "ConfigDir", "", s_.substr(0, s_.size() - 1)); }, "konfig X0000303", s_,
         {"I LBS_GetKonfigDir: " + kOff, "I _GuessLocalKonfigDir: Konfigpfad <" + s_ + "> \xfc" "ber Registry ermittelt.",
          "I LBS_GetKonfigDir: KonfigPfad \xfc" "ber Alternative ermittelt: \"" + s_ + "\"", "I LBS_GetKonfigDir: KonfigPfad <X0000303> = \"" + s_ + "\""}},
        {"trace component outside a Korvan environment", [&] { Records("X0000302", "ConfigDir", "", s_); }, "konfig X0000302", hostDir_,
         {"E _GuessLocalKonfigDir: Verzeichnis <" + programFiles_ + "Korvan\\Konfig\\MirelCompact\\> ist nicht vorhanden!",
          "I _GuessLocalKonfigDir: Immer noch kein Konfig-Verzeichnis, nehmen jetzt das Programmverzeichnis.",
          "I LBS_GetKonfigDir: KonfigPfad <X0000302> = \"" + hostDir_ + "\""},
         false, {}, {programFiles_ + "Korvan"}},
        {"inside a Korvan environment the program directory", [&] { Korvan(); }, "konfig X0000303", prog,
         {"I LBS_GetKonfigDir: KonfigPfad \xfc" "ber Alternative ermittelt: \"" + prog + "\""}, false},
        {"environment needs the identifier, case-sensitive", [&] { Korvan("x0000303"); }, "korvan-env X0000303", "false", {}, false},
        {"environment with the identifier", [&] { Korvan("Prog_X0000303_Neu"); }, "korvan-env X0000303", "true", {}, false},
    });
}

TEST_F(Getters, DataAndTemporaryDirectories) {
    const std::string area = programData_ + "Korvan\\Daten\\X0000303\\Data", low = s_ + "Low\\Korvan\\Daten\\X0000303\\";
    ASSERT_EQ(static_cast<UINT>(DRIVE_NO_ROOT_DIR), ::GetDriveTypeA("Q:\\"));
    const std::string noData = "E LBS_GetDataDir: Konnten keinen Datenpfad f\xfcr <X0000303> ermitteln!";
    Play({
        {"outside a Korvan environment below ProgramData, created", nullptr, "data X0000303 1 Data", area + "\\",
         {"I _GuessLocalDataDir: Keine Korvan-Umgebung, nehmen ProgrammData-Verzeichnis.", "I LBS_GetDataDir: Datenpfad <X0000303> = \"" + area + "\""},
         false, {area}},
        {"no name appends nothing", nullptr, "data X0000303 1", programData_ + "Korvan\\Daten\\X0000303\\", {}, false},
        {"inside one the temporary folder", [&] { Korvan(); }, "data X0000303 1 Data", low + "Data\\",
         {"I _GuessLocalDataDir: Immer noch kein Daten-Verzeichnis, versuchen es mit TempDirLow + KorvanPfad."}, false, {low + "Data"},
         {programData_ + "Korvan"}},
        {"without create nothing is created", nullptr, "data X0000303 0 Data", programData_ + "Korvan\\Daten\\X0000303\\", {noData}, false, {},
         {programData_ + "Korvan"}},
        {"inside, a missing record stands without create", [&] { Korvan(); DataRecord("Data", s_ + "fehlt"); }, "data X0000303 0 Data",
         s_ + "fehlt\\", {}, false, {}, {s_ + "fehlt", s_ + "Low"}},
        {"a record is created where it names", [&] { DataRecord("Archiv", s_ + "archiv"); }, "data X0000303 1 Archiv", s_ + "archiv\\",
         {"I _GuessLocalDataDir: Versuchen Datenpfad \"" + s_ + "archiv\\\" anzulegen."}, false, {s_ + "archiv"}},
        {"a record on a missing drive moves to the program's drive", [&] { DataRecord("Data", "Q" + s_.substr(1) + "daten"); Korvan(); },
         "data X0000303 1 Data", drive_ + s_.substr(1) + "daten\\", {"I LBS_GetDataDir: Datenpfad <X0000303> = \"" + drive_ + s_.substr(1) + "daten\\\""},
         false, {s_ + "daten"}},
        {"an uncreatable temporary candidate with an error", [&] { Korvan(); WriteFileText(s_ + "datei", "x"); temp_ = s_ + "datei\\"; },
         "data X0000303 1 Data", s_ + "datei\\Low\\Korvan\\Daten\\X0000303\\", {noData}, false},
        {"temporary folder as the system gives it", nullptr, "temp", s_, {"I LSB_GetTempDir: Tempor\xe4rer Pfad = \"" + s_ + "\""}, false},
        {"Low appended", nullptr, "temp-low", s_ + "Low\\", {}, false, {}, {s_ + "Low"}},
        {"\\Low kept", [&] { temp_ = s_ + "T\\Low\\"; }, "temp-low", s_ + "T\\Low\\", {}, false},
        {"\\Lowland kept", [&] { temp_ = s_ + "Lowland\\"; }, "temp-low", s_ + "Lowland\\", {}, false},
        {"case counts", [&] { temp_ = s_ + "low\\"; }, "temp-low", s_ + "low\\Low\\", {}, false},
    });
}

TEST_F(Getters, UserKonfigAndLogDirectories) {
    const std::string user = roaming_ + "Korvan\\Konfig\\X0000303\\", lowLog = localLow_ + "Korvan\\Log\\Mirel\\";
    const std::string tempKonfig = "I _GuessLocalUserKonfigDir: Immer noch kein Konfig-Verzeichnis, versuchen es mit TempDir + KorvanPfad";
    Play({
        {"user configuration created below the roaming folder", nullptr, "user-konfig X0000303 1", user,
         {"I _GuessLocalUserKonfigDir: Versuchen Konfigpfad \"" + user + "\" anzulegen.",
          "I LBS_GetKonfigDirCurrentUser: KonfigPfad des Benutzers <X0000303> = \"" + user + "\""},
         false, {user}},
        {"without create the temporary path, not created", nullptr, "user-konfig X0000302 0", s_ + "Low\\Korvan\\Konfig\\MirelCompact\\",
         {"I LBS_GetKonfigDirCurrentUser: " + kOff,
          "I _GuessLocalUserKonfigDir: Benutzerspezifischer Konfigpfad <" + roaming_ + "Korvan\\Konfig\\MirelCompact\\>", tempKonfig,
          "I LSB_GetTempDir: Tempor\xe4rer Pfad = \"" + s_ + "\"",
          "I LBS_GetKonfigDirCurrentUser: Lokales Konfigverzeichnis \xfc" "ber Alternative ermittelt: \"" + s_ + "Low\\Korvan\\Konfig\\MirelCompact\\\"",
          "E LBS_GetKonfigDirCurrentUser: konnten keinen KonfigPfad des Benutzers f\xfcr <X0000302> ermitteln!"},
         true, {}, {s_ + "Low", roaming_ + "Korvan"}},
        {"a file blocking the roaming tree", [&] { WriteFileText(roaming_ + "Korvan", "x"); }, "user-konfig X0000303 1",
         s_ + "Low\\Korvan\\Konfig\\X0000303\\", {tempKonfig}, false, {s_ + "Low\\Korvan\\Konfig\\X0000303"}},
        {"log created below LocalLow", nullptr, "log X0000305 1", lowLog,
         {"I _GuessLocalLogDir: Benutzerspezifischer Logpfad <" + lowLog + ">", "I LBS_GetLogDir: LogPfad <X0000305> = \"" + lowLog + "\""},
         false, {lowLog}},
        {"alternative log directory of X0000303", [&] { registry_.SetSetting("LocbaseLogDirX0000302", s_); }, "log X0000303 0", s_,
         {"I LBS_GetLogDir: " + kOff, "I LBS_GetLogDir: LogPfad <X0000303> = \"" + s_ + "\""}},
        {"but not of X0000302", [&] { registry_.SetSetting("LocbaseLogDirX0000302", s_); }, "log X0000302 0", "", {}, false},
        {"guess without create keeps the record as it is", [&] { Records("X0000303", "LogDir", "", s_ + "fehlt"); }, "guess-log X0000303 0",
         s_ + "fehlt\\", {"I _GuessLocalLogDir: Logpfad <" + s_ + "fehlt\\> \xfc" "ber Registry ermittelt."}, false, {},
         {s_ + "fehlt", localLow_ + "Korvan"}},
        {"guess moves a record on a missing drive to the program's drive",
         [&] {
             WriteFileText(localLow_ + "Korvan", "x");
             Records("X0000303", "LogDir", "", "Q" + s_.substr(1) + "log");
             Korvan("prog");
         },
         "guess-log X0000303 1", drive_ + s_.substr(1) + "log\\", {"I _GuessLocalLogDir: Versuchen Logpfad \"Q" + s_.substr(1) + "log\\\" anzulegen."},
         false, {s_ + "log"}},
        {"last resort the temporary folder", [&] { WriteFileText(localLow_ + "Korvan", "x"); }, "log X0000309 1",
         s_ + "Low\\Korvan\\Log\\X0000309\\",
         {"I _GuessLocalLogDir: Immer noch kein Log-Verzeichnis, versuchen es mit TempDir + KorvanPfad",
          "I LBS_GetLogDir: LogPfad <X0000309> = \"" + s_ + "Low\\Korvan\\Log\\X0000309\\\""},
         false, {s_ + "Low\\Korvan\\Log\\X0000309"}},
    });
}

// With "LocbaseActive" on, against the server registered with regsvr32: a usable answer wins, any
// unusable one falls back to the registry and the guesses.
class ServedGetters : public Getters {
protected:
    void SetUp() override {
        ASSERT_EQ(0u, host::Start("desktop").exitCode);
        ASSERT_EQ(0u, server_.registerExitCode());
        settings_ = {{"LocbaseActive", "ein"}};
    }
    void Answer(const std::string& name, const std::string& text, const std::string& component = "") {
        registry_.SetString(component.empty() ? kServiceKey : std::string(kServiceKey) + "\\" + component, name, text);
    }
    void ProgramAnswer(const std::string& program) {
        Answer("GetProgramPath", s_.substr(0, s_.size() - 1), "X0000303");
        Answer("GetProgramPath.2", program, "X0000303");
    }
    std::string Dir(const std::string& name) {
        ::CreateDirectoryA((s_ + name).c_str(), nullptr);
        return s_ + name + "\\";
    }
    RegisteredServer server_;
};

TEST_F(ServedGetters, ServiceAnswersFirstWhenUsable) {
    const std::string reg = s_ + "Registry\\", huge(100000, 'p');
    const std::string registry = "I LBS_GetProgDir: Programmpfad <" + reg + "> \xfc" "ber Registry ermittelt.",
                      answer = "I LBS_GetProgDir: Programmpfad <X0000303> = \"" + reg + "\"";
    auto registered = [&] { Korvan("Registry"); };
    Play({
        {"service before registry", [&] { Dir("Prog"); registered(); ProgramAnswer("Prog"); }, "prog X0000303 0", s_ + "Prog\\",
         {"I LBS_GetProgDir: Programmpfad <X0000303> = \"" + s_ + "Prog\\\""}},
        {"missing service directory", [&] { registered(); ProgramAnswer("fehlt"); }, "prog X0000303 0", reg,
         {"I LBS_GetProgDir: Programmpfad via Locbase existiert nicht: \"" + s_ + "fehlt\\\"", registry, answer}},
        {"failing HRESULT", [&] { registered(); ProgramAnswer("Registry"); registry_.SetDword(kServiceKey, "GetProgramPath.HResult", 0x80070005); },
         "prog X0000303 0", reg, {"I LBS_GetProgDir: Via Locbase kein Programmpfad ermittelbar.", registry, answer}},
        {"100000 characters, reported and passed over", [&] { ProgramAnswer(huge); }, "prog X0000303 0", hostDir_,
         {"I LBS_GetProgDir: Programmpfad via Locbase existiert nicht: \"" + s_ + huge + "\\\""}, false},
        {"configuration", [&] { Answer("GetConfigPath", Dir("Konfig"), "X0000303"); }, "konfig X0000303", s_ + "Konfig\\",
         {"I LBS_GetKonfigDir: KonfigPfad <X0000303> = \"" + s_ + "Konfig\\\""}},
        {"user configuration created", [&] { Answer("GetUserConfigPath", s_ + "B\\K"); }, "user-konfig X0000303 1", s_ + "B\\K\\",
         {"I LBS_GetKonfigDirCurrentUser: KonfigPfad des Benutzers via Locbase existiert nicht: \"" + s_ + "B\\K\\\"",
          "I LBS_GetKonfigDirCurrentUser: Versuchen KonfigPfad des Benutzers \"" + s_ + "B\\K\\\" anzulegen."},
         false, {s_ + "B\\K"}},
        {"data area of its own", [&] { Answer("GetDirPath", Dir("Archiv"), "X0000303\\Archiv"); }, "data X0000303 0 Archiv", s_ + "Archiv\\",
         {"I LBS_GetDataDir: Datenpfad <X0000303> = \"" + s_ + "Archiv\\\""}},
        {"another area guesses", [&] { Answer("GetDirPath", Dir("Archiv"), "X0000303\\Archiv"); }, "data X0000303 1 Data",
         programData_ + "Korvan\\Daten\\X0000303\\Data\\", {"I LBS_GetDataDir: Datenpfadname (available) via Locbase nicht ermittelbar!"}, false},
        {"data directory created", [&] { Answer("GetDirPath", s_ + "Daten"); }, "data X0000303 1 Data", s_ + "Daten\\",
         {"I LBS_GetDataDir: Versuchen Datenpfad \"" + s_ + "Daten\\\" anzulegen."}, false, {s_ + "Daten"}},
        {"Korvan environment from the service", [&] { Answer("GetSystemPath", Dir("System")); Dir("X0000303"); ProgramAnswer("X0000303"); },
         "konfig X0000303", s_ + "X0000303\\", {"I LBS_GetKonfigDir: KonfigPfad \xfc" "ber Alternative ermittelt: \"" + s_ + "X0000303\\\""}, false},
    });
    // The service's log directory counts on Windows XP and Server 2003 only.
    for (const std::string version : {"win2003", "win7"}) {
        version_ = version;
        Play({{version, [&] { Answer("GetLogPath", Dir("Log")); }, "log X0000303 0", version == "win2003" ? s_ + "Log\\" : "",
               {version == "win2003" ? "I LBS_GetLogDir: LogPfad <X0000303> = \"" + s_ + "Log\\\"" : "I LBS_GetLogDir: " + kOff}, false}});
    }
}

}  // namespace
