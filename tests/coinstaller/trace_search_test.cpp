// The unmodified module finds its trace-system library by each of its three candidates, in this
// order: the trace component's program directory ("ProgKey"), the host's directory, the module's
// directory. The binding makes one load attempt per process, so every case runs in a child
// process of this program, which loads the module from module\ and makes a first request.
#include "test_support/files.h"
#include "test_support/module.h"
#include "test_support/process.h"
#include "test_support/registry_fixture.h"
#include "tests/doubles/recording_trace/records.h"

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
    if (library != nullptr) ::GetModuleFileNameA(library, path, MAX_PATH);
    int libraryLines = 0;
    bool request = false;
    if (library != nullptr) {
        for (const records::Line& line : records::Writes(ExportAs<records::CountFn>(library, "RecCallCount"),
                                                         ExportAs<records::GetFn>(library, "RecGetCall"))) {
            libraryLines += line.text.find("LBS_") != std::string::npos || line.text.rfind("Init:", 0) == 0;
            request = request || line.text == "CoDeviceInstall::InstallFunction <<DIF_SELECTDEVICE>>";
        }
    }
    std::printf("LOADED <%s> LIBRARY_LINES <%d> REQUEST <%d>\n", path, libraryLines, request ? 1 : 0);
    return 0;
}

class TraceLibrarySearch : public ::testing::Test {
protected:
    void SetUp() override {
        registry_.SetSetting("ProgKey", progDir_.path());
    }
    void TearDown() override { ::DeleteFileA((ProgramDirectory() + kLibrary).c_str()); }

    static void CopyLibraryTo(const std::string& directory) {
        ASSERT_TRUE(::CopyFileA((ProgramDirectory() + "module\\" + kLibrary).c_str(), (directory + kLibrary).c_str(), FALSE));
    }
    // The child's report for the library expected at `directory`; the search's own messages
    // never reach the trace.
    void ExpectBoundFrom(const std::string& directory) {
        char self[MAX_PATH + 1] = {};
        ::GetModuleFileNameA(nullptr, self, MAX_PATH);
        const ProcessResult child = RunProcess(self, kChildArgument);
        ASSERT_EQ(0u, child.exitCode) << child.output;
        const std::string loaded = child.output.substr(0, child.output.find('>') + 1);
        EXPECT_EQ(0, _stricmp(("LOADED <" + directory + kLibrary + ">").c_str(), loaded.c_str())) << child.output;
        EXPECT_NE(std::string::npos, child.output.find("LIBRARY_LINES <0> REQUEST <1>")) << child.output;
    }

    VendorRegistry registry_;
    ScratchDir progDir_{"search_prog"};
};

TEST_F(TraceLibrarySearch, ProgramDirectoryOfTheTraceComponentComesFirst) {
    CopyLibraryTo(progDir_.path());
    CopyLibraryTo(ProgramDirectory());
    ExpectBoundFrom(progDir_.path());
}

TEST_F(TraceLibrarySearch, HostDirectoryComesSecond) {
    CopyLibraryTo(ProgramDirectory());
    ExpectBoundFrom(ProgramDirectory());
}

TEST_F(TraceLibrarySearch, ModuleDirectoryComesLast) {
    ExpectBoundFrom(ProgramDirectory() + "module\\");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == kChildArgument) return RunChild();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
