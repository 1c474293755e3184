// The unmodified module finds its trace-system library by each of its three candidates, in this
// order: the trace component's program directory ("ProgKey"), the host's directory, the module's
// directory. The binding makes one load attempt per process, so every case runs in a child
// process of this program, which loads the module from module\ and makes a first request.
#include "test_support/files.h"
#include "test_support/module.h"
#include "test_support/process.h"
#include "test_support/registry_fixture.h"
#include "tests/doubles/recording_trace/recording_trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using namespace test_support;

constexpr char kChildArgument[] = "--search-child";
constexpr char kLibrary[] = "KvTraceHub001.dll";

// Prints which library file got bound, how many directory-library messages reached the trace
// and whether the request's line did.
int RunChild() {
    const tesk::UniqueHmodule module = LoadModule(ProgramDirectory() + "module\\TeskCoInstaller.dll");
    const auto coDeviceInstall = ExportAs<CoDeviceInstallFn>(module.get(), "CoDeviceInstall");
    if (coDeviceInstall == nullptr) return 3;
    coDeviceInstall(DIF_SELECTDEVICE, nullptr, nullptr, nullptr);
    HMODULE library = ::GetModuleHandleA(kLibrary);
    char path[MAX_PATH + 1] = {};
    if (library == nullptr || !::GetModuleFileNameA(library, path, MAX_PATH)) return 4;
    int libraryLines = 0;
    bool request = false;
    for (const RecCall& line : records::CallsOf("Write", ExportAs<records::CountFn>(library, "RecCallCount"),
                                                ExportAs<records::GetFn>(library, "RecGetCall"))) {
        const std::string text = line.text;
        libraryLines += text.find("LBS_") != std::string::npos || text.rfind("Init:", 0) == 0;
        request = request || text == "CoDeviceInstall::InstallFunction <<DIF_SELECTDEVICE>>";
    }
    std::printf("LOADED <%s> LIBRARY_LINES <%d> REQUEST <%d>\n", path, libraryLines, request ? 1 : 0);
    return 0;
}

// Copies in the program directory and beside the host; each case removes the copy that won the
// one before. The search's own messages never reach the trace.
TEST(TraceLibrarySearch, ProgramDirectoryThenHostThenModule) {
    VendorRegistry registry;
    ScratchDir progDir{"search_prog"};
    registry.SetSetting("ProgKey", progDir.path());
    const std::string candidates[] = {progDir.path(), ProgramDirectory(), ProgramDirectory() + "module\\"};
    for (int i : {0, 1}) {
        ASSERT_TRUE(::CopyFileA((candidates[2] + kLibrary).c_str(), (candidates[i] + kLibrary).c_str(), FALSE));
    }
    char self[MAX_PATH + 1] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    for (int i = 0; i < 3; ++i) {
        const ProcessResult child = RunProcess(self, kChildArgument);
        EXPECT_EQ(0u, child.exitCode) << child.output;
        const std::string loaded = child.output.substr(0, child.output.find('>') + 1);
        EXPECT_EQ(0, _stricmp(("LOADED <" + candidates[i] + kLibrary + ">").c_str(), loaded.c_str())) << child.output;
        EXPECT_NE(std::string::npos, child.output.find("LIBRARY_LINES <0> REQUEST <1>")) << child.output;
        if (i < 2) ::DeleteFileA((candidates[i] + kLibrary).c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == kChildArgument) return RunChild();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
