// The library as each process meets it, in the scenario host: the settings Init reads, the internal
// log it writes, the version and special folders.
#include "host_client.h"
#include "test_support/log_time.h"
#include "platform/unique_resource.h"
#include "test_support/files.h"
#include "test_support/registry_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

using namespace test_support;

namespace {

const std::string kOpenFailure = "E Init: Fehler <2> beim \xd6" "ffnen des Registry-Pfades <SOFTWARE\\Korvan Mirel Compact>!";
const std::string kUserMutex = "I Init: Der Mutex <LBS_MUTEX_GETUSERNAME> konnte erfolgreich erzeugt werden";
const std::string kLogMutex = "I Init: Der Mutex <LBS_MUTEX_INTERN_TRACE> konnte erfolgreich erzeugt werden";
std::string ReadFailure(const std::string& value, int code = 2) {
    return "Init: Fehler <" + std::to_string(code) + "> beim Lesen des Eintrags \"" + value + "\"!";
}
std::string Missing(const std::string& dir, const std::string& purpose) {
    return "E Init: Verzeichnis <" + dir + "> existiert nicht, um " + purpose + "!";
}
std::string Ids(const host::Run& run) {
    const std::string ids = host::Tagged(run.output, "PID");
    return "[" + ids.substr(0, ids.find(' ')) + "] [" + ids.substr(ids.rfind(' ') + 1) + "] ";
}

class LibraryProcess : public ::testing::Test {
protected:
    std::string Dir() const { return dir_.path().substr(0, dir_.path().size() - 1); }
    VendorRegistry registry_;
    ScratchDir dir_{"dirlib_process"};
};

TEST_F(LibraryProcess, InitReadsEachSettingOnceWithItsRules) {
    host::Run run = host::Start("init");
    EXPECT_EQ((std::vector<std::string>{kOpenFailure, kUserMutex}), run.messages);
    const std::string allOff = "internTrace=0 file=<> locbase=0 libDirs=0 libDirsFile=<> altLog=0 altLogDir=<> logMutex=0 userMutex=1 module=exe";
    EXPECT_EQ(allOff, host::Tagged(run.output, "SETTINGS"));
    registry_.CreateKey(kSettingsKey);
    run = host::Start("init");
    EXPECT_EQ((std::vector<std::string>{"I " + ReadFailure("LogVia_InternTrace"), "I " + ReadFailure("LocbaseActive"),
                                        "I " + ReadFailure("LocbaseTracingDirsActive"), "I " + ReadFailure("LocbaseLibDirsActive"),
                                        "I " + ReadFailure("LocbaseLogDirX0000302"), kUserMutex}),
              run.messages);
    EXPECT_EQ(allOff, host::Tagged(run.output, "SETTINGS"));

    const std::string log = "internTrace=1 file=<" + dir_.path() + "Locbase_Intern.log>";
    const std::string d = dir_.path(), missing = d + "fehlt", longDir(259, 'd');
    // The file name fills the 260-byte path to its last character behind `deep`, one beyond it
    // behind `deeper`: refused, not cut.
    std::string deep = Dir();
    while (deep.size() < 240) {
        deep += "\\" + std::string(deep.size() < 180 ? 40 : 239 - deep.size(), 'L');
        ASSERT_TRUE(::CreateDirectoryA(deep.c_str(), nullptr)) << deep;
    }
    const std::string deeper = deep + "L";
    ASSERT_TRUE(::CreateDirectoryA(deeper.c_str(), nullptr));
    const struct {
        std::vector<std::pair<std::string, std::string>> settings;
        std::string expected;  // part of the settings line
        std::string line;      // a message line, when the case has one
    } cases[] = {
        {{{"LocbaseActive", "AUS"}}, "locbase=0", ""},
        {{{"LocbaseActive", "aus "}}, "locbase=1", ""},
        {{{"LocbaseActive", ""}}, "locbase=1", ""},
        {{{"LogVia_InternTrace", "eIN"}, {"LogVia_InternTraceDirectory", Dir()}}, log, ""},
        {{{"LogVia_InternTrace", "ein"}, {"LogVia_InternTraceDirectory", d}}, log, ""},
        {{{"LogVia_InternTrace", "Ein "}, {"LogVia_InternTraceDirectory", d}}, "internTrace=0 file=<>", ""},
        {{{"LogVia_InternTrace", "ein"}}, "internTrace=0 file=<>", "E " + ReadFailure("LogVia_InternTraceDirectory")},
        {{{"LogVia_InternTrace", "ein"}, {"LogVia_InternTraceDirectory", missing}}, "logMutex=0", Missing(missing, "internes Log auszugeben")},
        {{{"LogVia_InternTrace", "ein"}, {"LogVia_InternTraceDirectory", longDir}}, "internTrace=0", Missing(longDir, "internes Log auszugeben")},
        {{{"LogVia_InternTrace", "ein"}, {"LogVia_InternTraceDirectory", longDir + "d"}}, "internTrace=0",
         "E " + ReadFailure("LogVia_InternTraceDirectory", ERROR_MORE_DATA)},
        {{{"LogVia_InternTrace", "ein"}, {"LogVia_InternTraceDirectory", deep}}, "file=<" + deep + "\\Locbase_Intern.log>", ""},
        {{{"LogVia_InternTrace", "ein"}, {"LogVia_InternTraceDirectory", deeper}}, "internTrace=0",
         "E Init: Pfad <" + deeper + "\\Locbase_Intern.log> ist l\xe4nger als 259 Zeichen und wird nicht verwendet!"},
        {{{"LocbaseLogDirX0000302", Dir()}}, "altLog=1 altLogDir=<" + d + ">", ""},
        {{{"LocbaseLogDirX0000302", missing}}, "altLog=0 altLogDir=<>",
         Missing(missing, "als alternativer Log-Pfad f\xfcr die Komponente X0000303 zur\xfc" "ckgegeben zu werden")},
        {{{"LocbaseLibDirsActive", "ein"}, {"LocbaseLibDirsDirectory", missing}}, "libDirs=0 libDirsFile=<>",
         Missing(missing, "Pfade f\xfcr Komponenten auszugeben")},
        {{{"LocbaseTracingDirsActive", "EIN"}}, "logMutex=0", "E " + ReadFailure("LocbaseTracingDirsDirectory")},
        {{{"LocbaseTracingDirsActive", "ein"}, {"LocbaseTracingDirsDirectory", missing}}, "logMutex=0",
         Missing(missing, "alle Pfade f\xfcr die X0000303 auszugeben")},
    };
    for (const auto& c : cases) {
        VendorRegistry fresh;
        for (const auto& [name, value] : c.settings) fresh.SetSetting(name, value);
        run = host::Start("init");
        EXPECT_NE(std::string::npos, host::Tagged(run.output, "SETTINGS").find(c.expected)) << c.settings[0].second << "\n" << run.output;
        EXPECT_EQ(c.line.empty() ? 0 : 1, std::count(run.messages.begin(), run.messages.end(), c.line)) << run.output;
    }
    // The switch is read as bytes whatever its type; a number is no "ein".
    registry_.SetSetting("LogVia_InternTraceDirectory", Dir());
    registry_.SetValue(kSettingsKey, "LogVia_InternTrace", REG_BINARY, "EIN", 3);
    EXPECT_NE(std::string::npos, host::Tagged(host::Start("init").output, "SETTINGS").find(log));
    registry_.SetDword(kSettingsKey, "LogVia_InternTrace", 1);
    EXPECT_EQ(std::string::npos, host::Tagged(host::Start("init").output, "SETTINGS").find(log));
}

TEST_F(LibraryProcess, InternalLogLinesCarryClockIdsLevelAndTheNoticeBeforeTheMutex) {
    registry_.SetSetting("LogVia_InternTrace", "ein");
    registry_.SetSetting("LogVia_InternTraceDirectory", dir_.path());
    registry_.SetSetting("LocbaseLogDirX0000302", dir_.path() + "fehlt");
    const std::string file = dir_.path() + "Locbase_Intern.log";
    WriteFileText(file, "alte Zeile\n");
    const SYSTEMTIME before = LocalNow();
    const host::Run run = host::Start("init");
    const std::string content = ReadFileBytes(file);
    const std::vector<std::string> lines = SplitLines(content);
    ASSERT_EQ(7u, lines.size()) << content;
    EXPECT_EQ("alte Zeile", lines[0]);
    const std::string notice = "------> _InternTrace: Fehler <-1> bei WaitForSingleObject, eigentliche Trace-Zeile folgt:";
    const std::pair<std::string, std::string> expected[] = {
        {notice, "INFO - " + ReadFailure("LocbaseActive")},
        {notice, "INFO - " + ReadFailure("LocbaseTracingDirsActive")},
        {notice, "INFO - " + ReadFailure("LocbaseLibDirsActive")},
        {notice, "ERROR - " + Missing(dir_.path() + "fehlt", "als alternativer Log-Pfad f\xfcr die Komponente X0000303 zur\xfc" "ckgegeben zu werden").substr(2)},
        {"", "INFO - " + kLogMutex.substr(2)},
        {"", "INFO - " + kUserMutex.substr(2)},
    };
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ("", CheckStampedLine(lines[i + 1], before, expected[i].first, Ids(run) + expected[i].second)) << lines[i + 1];

    // While another process holds the log mutex longer than a second, the line goes out behind a notice.
    tesk::UniqueHandle held(::CreateMutexA(nullptr, FALSE, "LBS_MUTEX_INTERN_TRACE"));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(held.get(), 10000));
    const host::Run waiting = host::Start("line T");
    ::ReleaseMutex(held.get());
    const std::string timeout = "-----> _InternTrace: Timeout bei WaitForSingleObject, eigentliche Trace-Zeile folgt:";
    EXPECT_EQ("", CheckStampedLine(SplitLines(ReadFileBytes(file)).back(), before, timeout, Ids(waiting) + "INFO - T"));

    // Linked into a DLL, the library takes the DLL as its own module.
    EXPECT_EQ("dll", host::Tagged(host::Start("dll-init").output, "DLLMODULE"));
}

TEST_F(LibraryProcess, OsVersionOfTheVersionWinePretendsReadFirstByTheLogDirectory) {
    const std::tuple<const char*, int, const char*> versions[] = {
        {"win10", 18, "Windows 10"}, {"win8", 14, "Windows 8"}, {"vista", 9, "Windows VISTA SP2"}, {"win2003", 5, "Windows 2003 Server"}};
    for (const auto& [wine, versionClass, text] : versions) {
        const host::Run run = host::Start("call os-version", wine);
        const std::string line = "I LBS_GetOsVersion: \"" + std::to_string(versionClass) + "\" (" + text + ")";
        EXPECT_EQ(std::to_string(versionClass) + " " + std::to_string(versionClass), run.result) << wine;
        EXPECT_EQ((std::vector<std::string>{line, line}), run.messages) << wine;
        // The log directory's getter reads the version first, also when the service is off.
        const std::vector<std::string> log = host::Start("call log X0000303 0", wine).messages;
        EXPECT_TRUE(log.size() > 2 && log[0] == line && log[1] == "I LBS_GetLogDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet")
            << wine << "\n" << ::testing::PrintToString(log);
    }
}

}  // namespace
