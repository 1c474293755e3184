// The library as each process meets it, in the scenario host: the settings Init reads, the internal
// log it writes (also from several processes at once), the callbacks, the version and special folders.
#include "host_client.h"
#include "test_support/log_time.h"
#include "platform/unique_resource.h"
#include "test_support/files.h"
#include "test_support/korvan_folders.h"
#include "test_support/registry_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <regex>
#include <thread>
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
    const struct {
        std::vector<std::pair<std::string, std::string>> settings;
        std::string expected;  // part of the settings line
        std::string line;      // a message line, when the case has one
    } cases[] = {
        {{{"LocbaseActive", "aus"}}, "locbase=0", ""},
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

// An existing directory whose path leaves no room for the file name is refused, not cut.
TEST_F(LibraryProcess, InternalLogPathLongerThan259IsRefused) {
    std::string deep = Dir();
    while (deep.size() < 245) {
        deep += "\\" + std::string(std::min<size_t>(40, 245 - deep.size()), 'L');
        ASSERT_TRUE(::CreateDirectoryA(deep.c_str(), nullptr)) << deep;
    }
    registry_.SetSetting("LogVia_InternTrace", "ein");
    registry_.SetSetting("LogVia_InternTraceDirectory", deep);
    const host::Run run = host::Start("init");
    ASSERT_FALSE(run.messages.empty());
    EXPECT_EQ("E Init: Pfad <" + deep + "\\Locbase_Intern.log> ist l\xe4nger als 259 Zeichen und wird nicht verwendet!", run.messages[0]);
}

// Only the component-path log is announced again by a later Init; the rest is read once.
TEST_F(LibraryProcess, LaterInitSaysOnlyTheComponentPathAnnouncement) {
    registry_.SetSetting("LocbaseLibDirsActive", "ein");
    registry_.SetSetting("LocbaseLibDirsDirectory", Dir());
    const host::Run run = host::Start("init-twice");
    const std::string announce = "I Init: Pfade f\xfcr alle Komponenten werden bei jeder Abfrage nach <" + dir_.path() +
                                 "Locbase_Lib_Dirs.log> ausgegeben";
    const std::vector<std::string> tail(run.messages.end() - 4, run.messages.end());
    EXPECT_EQ((std::vector<std::string>{kLogMutex, kUserMutex, announce, announce}), tail);
    EXPECT_EQ(announce, run.output.substr(run.output.find("--- second\n") + 11, announce.size()));
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
    EXPECT_EQ(std::string::npos, content.find('\r'));
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
    const host::Run waiting = host::Start("lines 1 T");
    ::ReleaseMutex(held.get());
    const std::string timeout = "-----> _InternTrace: Timeout bei WaitForSingleObject, eigentliche Trace-Zeile folgt:";
    EXPECT_EQ("", CheckStampedLine(SplitLines(ReadFileBytes(file)).back(), before, timeout, Ids(waiting) + "INFO - T Zeile 0"));

    // Linked into a DLL, the library takes the DLL as its own module.
    EXPECT_EQ("dll", host::Tagged(host::Start("dll-init").output, "DLLMODULE"));
}

// Several processes append at once; the named mutex keeps every line whole and in place. The hosts
// pass Init one after another (lines before a process has its mutex bypass it), then write together.
TEST_F(LibraryProcess, FourProcessesAppendThousandLinesEachWithoutLossOrTearing) {
    registry_.SetSetting("LogVia_InternTrace", "ein");
    registry_.SetSetting("LogVia_InternTraceDirectory", dir_.path());
    constexpr int kProcesses = 4, kLines = 1000;
    const std::string gate = "tesk_dirlib_gate_" + std::to_string(::GetCurrentProcessId());
    tesk::UniqueHandle ready(::CreateSemaphoreA(nullptr, 0, kProcesses, (gate + "_ready").c_str()));
    tesk::UniqueHandle go(::CreateEventA(nullptr, TRUE, FALSE, (gate + "_go").c_str()));
    std::vector<host::Run> runs(kProcesses);
    std::vector<std::thread> runners;
    for (int p = 0; p < kProcesses; ++p) {
        runners.emplace_back([p, &runs, &gate] { runs[p] = host::Start("lines " + std::to_string(kLines) + " P" + std::to_string(p) + " " + gate); });
        EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(ready.get(), 30000)) << p;
    }
    ::SetEvent(go.get());
    for (std::thread& runner : runners) runner.join();
    const std::regex dataLine(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3} (\[\d+\] \[\d+\] )INFO - P(\d) Zeile (\d+))");
    const std::regex initLine(R"((-{5,6}> _InternTrace: [^:]*folgt:)?\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3} \[\d+\] \[\d+\] INFO - Init: .*)");
    std::map<int, int> next;
    int initLines = 0;
    const std::vector<std::string> lines = SplitLines(ReadFileBytes(dir_.path() + "Locbase_Intern.log"));
    for (const std::string& line : lines) {
        std::smatch m;
        if (std::regex_match(line, m, dataLine)) {
            const int p = std::stoi(m[2]);
            ASSERT_LT(p, kProcesses);
            EXPECT_EQ(Ids(runs[p]), m[1].str()) << line;
            EXPECT_EQ(next[p]++, std::stoi(m[3])) << line;
        } else {
            ASSERT_TRUE(std::regex_match(line, initLine)) << "torn or foreign: " << line;
            ++initLines;
        }
    }
    for (int p = 0; p < kProcesses; ++p) EXPECT_EQ(kLines, next[p]) << p;
    EXPECT_EQ(kProcesses * 6, initLines);
}

std::string Units(const std::wstring& text) {
    std::string units;
    char unit[8];
    for (wchar_t c : text) {
        std::snprintf(unit, sizeof unit, " %04x", static_cast<unsigned>(c));
        units += unit;
    }
    return units;
}

// Listens as a debug-output viewer does (the DBWIN protocol) while a host writes; what that host sent.
std::vector<std::string> DebugStringsOf(const std::string& scenario, host::Run& run) {
    tesk::UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, L"DBWinMutex")), bufferReady(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY")),
        dataReady(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY")),
        mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER"));
    const char* view = static_cast<const char*>(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 4096));
    std::vector<std::pair<DWORD, std::string>> received;
    std::atomic<bool> stop{view == nullptr};
    std::thread listener([&] {
        for (; !stop; ::SetEvent(bufferReady.get())) {
            if (::WaitForSingleObject(dataReady.get(), 50) == WAIT_OBJECT_0) received.emplace_back(*reinterpret_cast<const DWORD*>(view), view + 4);
        }
    });
    run = host::Start(scenario);
    ::Sleep(500);
    stop = true;
    listener.join();
    std::vector<std::string> own;
    for (const auto& [pid, text] : received) {
        if (Ids(run).rfind("[" + std::to_string(pid) + "] ", 0) == 0) own.push_back(text);
    }
    return own;
}

TEST_F(LibraryProcess, CallbacksAndTheDebuggerGetWhatTheyAreFor) {
    // Only the writer's own failures reach the debugger, and only while a callback receives.
    host::Run run;
    EXPECT_EQ(std::vector<std::string>{"ERROR - _TracerWrite: Fehler im Format des Tracing-Strings!"}, DebugStringsOf("debug-output", run));
    EXPECT_EQ((std::vector<std::string>{"I gew\xf6hnliche Meldung", "E Fehler im Format des Tracing-Strings!"}), run.messages);
    // Only the wide callback: messages converted; then a narrow one takes over the ordinary ones.
    run = host::Start("wide-messages");
    EXPECT_EQ((std::vector<std::string>{"WI" + Units(L"Pfad <C:\\Daten> f\u00fcr 7"), "WE" + Units(L"Fehler im Format des Tracing-Strings!"),
                                        "WE" + Units(L"Fehler beim Konvertieren der Log-Meldung!"), "I nur schmal",
                                        "E Fehler im Format des Tracing-Strings!", "WE" + Units(L"Fehler im Format des Tracing-Strings!")}),
              SplitLines(run.output));
}

TEST_F(LibraryProcess, OsVersionAndSpecialFoldersOfTheVersionWinePretends) {
    const std::tuple<const char*, int, const char*> versions[] = {
        {"win10", 18, "Windows 10"}, {"win8", 14, "Windows 8"}, {"vista", 9, "Windows VISTA SP2"}, {"win2003", 5, "Windows 2003 Server"}};
    for (const auto& [wine, versionClass, text] : versions) {
        const host::Run run = host::Start("call os-version", wine);
        const std::string line = "I LBS_GetOsVersion: \"" + std::to_string(versionClass) + "\" (" + text + ")";
        EXPECT_EQ(std::to_string(versionClass) + " " + std::to_string(versionClass), run.result) << wine;
        EXPECT_EQ((std::vector<std::string>{line, line}), run.messages) << wine;
    }
    // Before Vista there is no low-integrity folder: kind 0 is the local application data.
    const std::string programFiles = KnownFolder(FOLDERID_ProgramFilesX86);
    const std::string local = KnownFolder(FOLDERID_LocalAppData);
    const std::pair<const char*, std::string> folders[] = {
        {"win10", KnownFolder(FOLDERID_LocalAppDataLow) + "|" + local + "|" + KnownFolder(FOLDERID_RoamingAppData) + "|" +
                      KnownFolder(FOLDERID_ProgramData) + "|" + programFiles + "|" + programFiles + "|||"},
        {"win2003", local + "|" + local},
    };
    for (const auto& [wine, expected] : folders) {
        const host::Run run = host::Start("call folders", wine);
        EXPECT_EQ(expected, run.result.substr(0, expected.size())) << wine;
        EXPECT_EQ(1, std::count(run.messages.begin(), run.messages.end(), "E LBS_GetSpecialFolderPath: Falscher LocbaseDirType <6> wurde \xfc" "bergeben!"));
        EXPECT_EQ(1, std::count(run.messages.begin(), run.messages.end(), "E LBS_GetSpecialFolderPath: Falscher LocbaseDirType <-1> wurde \xfc" "bergeben!"));
    }
}

}  // namespace
