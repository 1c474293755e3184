// The unmodified module loaded from a directory of its own, with the trace library beside it
// and not beside the host: the search runs the directory library, whose messages during the
// load attempt reach only its internal log, and then binds the library next to the module.
#include "coinstaller/coinstaller_harness.h"
#include "dirlib/test_support.h"
#include "tests/doubles/recording_trace/recording_trace.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

using RecCallCountFn = size_t (*)();
using RecInitCountFn = uint32_t (*)();

std::string HostDir() {
    char path[MAX_PATH + 1] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.rfind('\\') + 1);
}

TEST(ModuleSearch, LibraryMessagesOfTheLoadAttemptGoOnlyToTheInternalLog) {
    dirlib_test::ScratchDir logDir("tesk_module_search");
    dirlib_test::VendorRegistry registry;
    registry.SetSetting("LogVia_InternTrace", "ein");
    registry.SetSetting("LogVia_InternTraceDirectory", logDir.path());

    const std::string moduleDir = HostDir() + "module\\";
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((HostDir() + "KvTraceHub001.dll").c_str()));
    HMODULE module = ::LoadLibraryA((moduleDir + "TeskCoInstaller.dll").c_str());
    ASSERT_NE(nullptr, module);
    ASSERT_EQ(nullptr, ::GetModuleHandleA("KvTraceHub001.dll")) << "nothing is loaded before the first request";
    const auto coDeviceInstall = reinterpret_cast<harness::CoDeviceInstallFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, "CoDeviceInstall")));
    ASSERT_NE(nullptr, coDeviceInstall);

    SimReset();
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), coDeviceInstall(DIF_SELECTDEVICE, nullptr, nullptr, nullptr));

    HMODULE traceLibrary = ::GetModuleHandleA("KvTraceHub001.dll");
    ASSERT_NE(nullptr, traceLibrary) << "the library beside the module was not bound";
    char loadedFrom[MAX_PATH + 1] = {};
    ::GetModuleFileNameA(traceLibrary, loadedFrom, MAX_PATH);
    EXPECT_EQ(0, _stricmp((moduleDir + "KvTraceHub001.dll").c_str(), loadedFrom));

    const auto recInitCount = reinterpret_cast<RecInitCountFn>(reinterpret_cast<void*>(::GetProcAddress(traceLibrary, "RecInitCount")));
    const auto recCallCount = reinterpret_cast<RecCallCountFn>(reinterpret_cast<void*>(::GetProcAddress(traceLibrary, "RecCallCount")));
    const auto recGetCall = reinterpret_cast<bool (*)(size_t, RecCall*)>(reinterpret_cast<void*>(::GetProcAddress(traceLibrary, "RecGetCall")));
    ASSERT_TRUE(recInitCount && recCallCount && recGetCall);
    EXPECT_EQ(1u, recInitCount());

    bool sawRequest = false;
    for (size_t i = 0; i < recCallCount(); ++i) {
        RecCall call{};
        recGetCall(i, &call);
        if (std::string(call.function) != "Write") continue;
        const std::string text = call.text;
        EXPECT_EQ(std::string::npos, text.find("LBS_")) << "dropped during the load attempt: " << text;
        EXPECT_NE(0u, text.rfind("Init:", 0)) << "dropped during the load attempt: " << text;
        if (text == "CoDeviceInstall::InstallFunction <<DIF_SELECTDEVICE>>") sawRequest = true;
    }
    EXPECT_TRUE(sawRequest);

    const std::string log = dirlib_test::ReadFileBytes(logDir.path() + "Locbase_Intern.log");
    const auto lines = dirlib_test::SplitLines(log);
    ASSERT_FALSE(lines.empty()) << "the internal log was not written";
    // Lines written before Init has created the log mutex carry the notice of the failed wait.
    const std::regex linePattern(
        R"((------> _InternTrace: Fehler <-1> bei WaitForSingleObject, eigentliche Trace-Zeile folgt:)?)"
        R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3} \[\d+\] \[\d+\] (INFO|ERROR) - .+)");
    bool sawInit = false;
    bool sawModuleDir = false;
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, linePattern)) << line;
        if (line.find("INFO - Init: Fehler <2> beim Lesen des Eintrags \"LocbaseActive\"!") != std::string::npos) sawInit = true;
        // Without "ProgKey" the trace component's program directory is the module's own.
        if (line.find("INFO - LBS_GetProgDir: Programmpfad <X0000302> = \"" + moduleDir + "\"") != std::string::npos) {
            sawModuleDir = true;
        }
    }
    EXPECT_TRUE(sawInit) << log;
    EXPECT_TRUE(sawModuleDir) << log;
    EXPECT_EQ(std::string::npos, log.find('\r'));
}

}  // namespace
