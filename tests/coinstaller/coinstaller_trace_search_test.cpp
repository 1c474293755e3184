// The unmodified module finds its trace-system library by each of its three candidates: the
// trace component's program directory ("ProgKey"), the host's directory, the module's directory.
// The binding makes one load attempt per process, so every case runs in a child process of this
// program ("--search-child"), which loads the module from module\ and makes a first request.
#include "coinstaller/coinstaller_harness.h"
#include "confserver/service_test_support.h"
#include "dirlib/getter_support.h"
#include "tests/doubles/recording_trace/recording_trace.h"

#include <gtest/gtest.h>

#include <knownfolders.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace dirlib_test;

constexpr char kChildArgument[] = "--search-child";
constexpr char kLibrary[] = "KvTraceHub001.dll";

std::string ExePath() {
    char path[MAX_PATH + 1] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

std::string ExeDir() {
    const std::string path = ExePath();
    return path.substr(0, path.rfind('\\') + 1);
}

void Print(const std::string& text) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Loads the module, makes the first request and reports which library file got bound and what
// reached the trace: "LOADED <path>", "LIBRARY_LINES <n>" (directory-library lines in the trace)
// and "REQUEST <0|1>".
int RunChild() {
    HMODULE module = ::LoadLibraryA((ExeDir() + "module\\TeskCoInstaller.dll").c_str());
    if (module == nullptr) return 3;
    const auto coDeviceInstall = reinterpret_cast<harness::CoDeviceInstallFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, "CoDeviceInstall")));
    if (coDeviceInstall == nullptr) return 4;
    SimReset();
    coDeviceInstall(DIF_SELECTDEVICE, nullptr, nullptr, nullptr);

    HMODULE library = ::GetModuleHandleA(kLibrary);
    char loadedFrom[MAX_PATH + 1] = {};
    if (library != nullptr) ::GetModuleFileNameA(library, loadedFrom, MAX_PATH);
    Print(std::string("LOADED <") + loadedFrom + ">\n");
    if (library == nullptr) return 0;

    const auto callCount = reinterpret_cast<size_t (*)()>(reinterpret_cast<void*>(::GetProcAddress(library, "RecCallCount")));
    const auto getCall = reinterpret_cast<bool (*)(size_t, RecCall*)>(reinterpret_cast<void*>(::GetProcAddress(library, "RecGetCall")));
    if (callCount == nullptr || getCall == nullptr) return 5;
    int libraryLines = 0;
    bool request = false;
    for (size_t i = 0; i < callCount(); ++i) {
        RecCall call{};
        getCall(i, &call);
        if (std::string(call.function) != "Write" || call.text == nullptr) continue;
        const std::string text = call.text;
        if (text.find("LBS_") != std::string::npos || text.rfind("Init:", 0) == 0 || text.rfind("_Guess", 0) == 0) ++libraryLines;
        if (text == "CoDeviceInstall::InstallFunction <<DIF_SELECTDEVICE>>") request = true;
    }
    Print("LIBRARY_LINES <" + std::to_string(libraryLines) + ">\nREQUEST <" + std::to_string(request) + ">\n");
    return 0;
}

class TraceLibrarySearch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((ExeDir() + kLibrary).c_str()))
            << "a library beside the test program would spoil the cases";
        registry_.SetSetting("LogVia_InternTrace", "ein");
        registry_.SetSetting("LogVia_InternTraceDirectory", logDir_.path());
        // An existing program directory without the library, unless a case puts one there.
        registry_.SetSetting("ProgKey", progDir_.path());
    }
    void TearDown() override { ::DeleteFileA((ExeDir() + kLibrary).c_str()); }

    static void CopyLibraryTo(const std::string& directory) {
        ASSERT_TRUE(::CopyFileA((ModuleDir() + kLibrary).c_str(), (directory + kLibrary).c_str(), FALSE)) << directory;
    }
    static std::string ModuleDir() { return ExeDir() + "module\\"; }

    HostResult RunChildProcess() {
        HostResult child = RunProcess(ExePath(), kChildArgument);
        EXPECT_EQ(0u, child.exitCode) << child.output;
        return child;
    }

    static std::string Tagged(const HostResult& child, const std::string& tag) {
        const std::string value = TaggedLine(child.output, tag);
        return value.size() >= 2 ? value.substr(1, value.size() - 2) : value;
    }

    std::string InternLog() const { return ReadFileBytes(logDir_.path() + "Locbase_Intern.log"); }

    VendorRegistry registry_;
    KorvanTrees trees_;
    ScratchDir logDir_{"search_log"};
    ScratchDir progDir_{"search_prog"};
};

TEST_F(TraceLibrarySearch, ProgramDirectoryOfTheTraceComponentComesFirst) {
    CopyLibraryTo(progDir_.path());
    CopyLibraryTo(ExeDir());
    const HostResult child = RunChildProcess();
    EXPECT_EQ(0, _stricmp((progDir_.path() + kLibrary).c_str(), Tagged(child, "LOADED").c_str())) << child.output;
    EXPECT_EQ("1", Tagged(child, "REQUEST"));
    EXPECT_EQ("0", Tagged(child, "LIBRARY_LINES")) << "library messages of the search are dropped";

    const std::string log = InternLog();
    EXPECT_NE(std::string::npos, log.find("INFO - LBS_GetProgDir: Programmpfad <X0000302> = \"" + progDir_.path() + "\"\n"))
        << log;
    EXPECT_EQ(std::string::npos, log.find("LBS_GetThisDllDir")) << "later candidates are not asked for";
}

TEST_F(TraceLibrarySearch, HostDirectoryComesSecond) {
    CopyLibraryTo(ExeDir());
    const HostResult child = RunChildProcess();
    EXPECT_EQ(0, _stricmp((ExeDir() + kLibrary).c_str(), Tagged(child, "LOADED").c_str())) << child.output;
    EXPECT_EQ("1", Tagged(child, "REQUEST"));
    EXPECT_EQ("0", Tagged(child, "LIBRARY_LINES"));
    EXPECT_EQ(std::string::npos, InternLog().find("LBS_GetThisDllDir"));
}

TEST_F(TraceLibrarySearch, ModuleDirectoryComesLast) {
    const HostResult child = RunChildProcess();
    EXPECT_EQ(0, _stricmp((ModuleDir() + kLibrary).c_str(), Tagged(child, "LOADED").c_str())) << child.output;
    EXPECT_EQ("1", Tagged(child, "REQUEST"));
    EXPECT_EQ("0", Tagged(child, "LIBRARY_LINES"));
    const std::string log = InternLog();
    const size_t prog = log.find("INFO - LBS_GetProgDir: Programmpfad <X0000302> = \"" + progDir_.path() + "\"");
    const size_t thisDll = log.find("INFO - LBS_GetThisDllDir: Ermittelter Pfad <" + ModuleDir() + ">.");
    ASSERT_NE(std::string::npos, prog) << log;
    ASSERT_NE(std::string::npos, thisDll) << log;
    EXPECT_LT(prog, thisDll);
}

// Without "ProgKey" the program directory falls back to the module's own directory, which
// holds the library: found by the first candidate already.
TEST_F(TraceLibrarySearch, WithoutProgKeyTheProgramDirectoryIsTheModuleDirectory) {
    tesk::UniqueHkey settings;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, settings.put()));
    ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteValueA(settings.get(), "ProgKey"));
    CopyLibraryTo(ExeDir());
    const HostResult child = RunChildProcess();
    EXPECT_EQ(0, _stricmp((ModuleDir() + kLibrary).c_str(), Tagged(child, "LOADED").c_str())) << child.output;
    EXPECT_EQ(std::string::npos, InternLog().find("LBS_GetThisDllDir"));
}

TEST_F(TraceLibrarySearch, PathDumpAtTheFirstUseWritesFiveLinesAndCreatesTheDirectories) {
    ScratchDir dumpDir("search_dump");
    registry_.SetSetting("LocbaseTracingDirsActive", "ein");
    registry_.SetSetting("LocbaseTracingDirsDirectory", dumpDir.path());
    const HostResult child = RunChildProcess();
    EXPECT_EQ("0", Tagged(child, "LIBRARY_LINES"));

    const std::vector<std::string> dump = SplitLines(ReadFileBytes(dumpDir.path() + "X0000303_TracingDirs.log"));
    ASSERT_EQ(5u, dump.size());
    const char* const labels[] = {"] Programm <", "] Daten <", "] Konfig <", "] Log <", "] Konfig Benutzer <"};
    for (size_t i = 0; i < 5; ++i) EXPECT_NE(std::string::npos, dump[i].find(labels[i])) << dump[i];
    EXPECT_NE(std::string::npos, dump[0].find("] Programm <" + ModuleDir() + ">"));
    const std::string created[] = {
        KnownFolder(FOLDERID_ProgramData) + "Korvan\\Daten\\X0000303\\Data\\",
        KnownFolder(FOLDERID_LocalAppDataLow) + "Korvan\\Log\\Mirel\\",
        KnownFolder(FOLDERID_RoamingAppData) + "Korvan\\Konfig\\X0000303\\",
    };
    EXPECT_NE(std::string::npos, dump[1].find(created[0]));
    EXPECT_NE(std::string::npos, dump[3].find(created[1]));
    EXPECT_NE(std::string::npos, dump[4].find(created[2]));
    for (const std::string& dir : created) EXPECT_TRUE(IsDirectory(dir)) << dir;

    const std::string log = InternLog();
    EXPECT_NE(std::string::npos, log.find("INFO - Init: Pfade f\xfcr X0000303 werden einmalig nach <" + dumpDir.path() +
                                          "X0000303_TracingDirs.log> ausgegeben"))
        << log;
}

// With the service switched on, the trace component's program directory comes from the
// configuration server, reached over COM inside the binding's load attempt.
TEST_F(TraceLibrarySearch, ProgramDirectoryFromTheConfigurationService) {
    const DesktopReady desktop;
    const confsvc_test::RegisteredServer server;
    ASSERT_EQ(0u, server.registerExitCode());
    ScratchDir servedDir("search_served");
    const std::string served = servedDir.path() + "MirelCompact\\";
    ASSERT_TRUE(::CreateDirectoryA(served.c_str(), nullptr));
    CopyLibraryTo(served);
    CopyLibraryTo(progDir_.path());
    registry_.SetSetting("LocbaseActive", "ein");
    const std::string component = std::string(confsvc_test::kServiceKey) + "\\X0000302";
    registry_.SetString(component, "GetProgramPath", servedDir.path().substr(0, servedDir.path().size() - 1));
    registry_.SetString(component, "GetProgramPath.2", "MirelCompact");

    const HostResult child = RunChildProcess();
    EXPECT_EQ(0, _stricmp((served + kLibrary).c_str(), Tagged(child, "LOADED").c_str())) << child.output;
    EXPECT_EQ("0", Tagged(child, "LIBRARY_LINES"));
    const std::string log = InternLog();
    EXPECT_NE(std::string::npos, log.find("INFO - _GetValueFromLocbase: Via Locbase ermittelter Wert <" + served + ">")) << log;
    EXPECT_NE(std::string::npos, log.find("INFO - LBS_GetProgDir: Programmpfad <X0000302> = \"" + served + "\"")) << log;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == kChildArgument) return RunChild();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
