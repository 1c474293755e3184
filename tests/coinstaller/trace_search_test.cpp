// The unmodified module finds its trace-system library by its three candidates in order: the trace
// component's program directory ("ProgKey"), the host's, the module's; an empty or relative one is
// skipped, never resolved against the current directory, which holds a copy. One load attempt per
// process: each case is a child process that loads the module from a directory and makes a request.
#include "test_support/files.h"
#include "test_support/module.h"
#include "test_support/process.h"
#include "test_support/registry_fixture.h"
#include "tests/doubles/recording_trace/recording_trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace test_support;

constexpr char kChildArgument[] = "--search-child";
constexpr char kLibrary[] = "KvTraceHub001.dll";

std::wstring Extended(const std::string& path) { return L"\\\\?\\" + std::wstring(path.begin(), path.end()); }

// Prints which library file got bound ("LOADED <>": none) and how many directory-library messages
// reached the trace.
int RunChild(const std::string& moduleDir, const std::string& currentDir) {
    if (!::SetCurrentDirectoryA(currentDir.c_str())) return 2;
    // The extended form reaches a module directory beyond MAX_PATH.
    const tesk::UniqueHmodule module(::LoadLibraryW(Extended(moduleDir + "TeskCoInstaller.dll").c_str()));
    const auto coDeviceInstall = module ? ExportAs<CoDeviceInstallFn>(module.get(), "CoDeviceInstall") : nullptr;
    if (coDeviceInstall == nullptr) return 3;
    coDeviceInstall(DIF_SELECTDEVICE, nullptr, nullptr, nullptr);
    HMODULE library = ::GetModuleHandleA(kLibrary);
    char path[MAX_PATH + 1] = {};
    if (library == nullptr) return std::printf("LOADED <>\n"), 0;
    if (!::GetModuleFileNameA(library, path, MAX_PATH)) return 4;
    int libraryLines = 0;
    for (const RecCall& line : records::CallsOf("Write", ExportAs<records::CountFn>(library, "RecCallCount"),
                                                ExportAs<records::GetFn>(library, "RecGetCall"))) {
        const std::string text = line.text;
        libraryLines += text.find("LBS_") != std::string::npos || text.rfind("Init:", 0) == 0;
    }
    std::printf("LOADED <%s> LIBRARY_LINES <%d>\n", path, libraryLines);
    return 0;
}

// Each row places copies of the library, runs a child and removes the copies again. The search's
// own messages never reach the trace.
TEST(TraceLibrarySearch, CandidatesInOrderEmptyAndRelativeOnesSkipped) {
    ScratchDir progDir{"search_prog"}, current{"search_current"}, longBase{"search_long"};
    // A directory part (after the drive) of 256 characters, the first length the module's directory no longer fits.
    const std::string host = ProgramDirectory(), module = host + "module\\", overLong = longBase.path() + std::string(257 - longBase.path().size(), 'a') + "\\";
    ASSERT_TRUE(::CreateDirectoryW(Extended(overLong).c_str(), nullptr));
    ASSERT_TRUE(::CopyFileW(Extended(module + "TeskCoInstaller.dll").c_str(), Extended(overLong + "TeskCoInstaller.dll").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileA((module + kLibrary).c_str(), (current.path() + kLibrary).c_str(), FALSE));
    const struct { const char* name; std::string progKey; std::vector<std::string> copies; std::string moduleDir, loaded; } rows[] = {
        {"program directory first", progDir.path(), {progDir.path(), host}, module, progDir.path()},
        {"then the host's", progDir.path(), {host}, module, host},
        {"then the module's", progDir.path(), {}, module, module},
        {"relative ProgKey", ".", {}, module, module},
        {"over-long module directory: program and module directory empty", "", {host}, overLong, host},
        {"over-long module directory, nothing beside the host", "", {}, overLong, ""},
    };
    for (const auto& row : rows) {
        VendorRegistry registry;
        if (!row.progKey.empty()) registry.SetSetting("ProgKey", row.progKey);
        for (const std::string& dir : row.copies) ASSERT_TRUE(::CopyFileA((module + kLibrary).c_str(), (dir + kLibrary).c_str(), FALSE));
        // A backslash before the closing quote is doubled, or it would escape the quote.
        const ProcessResult child = RunProcess(host + "coinstaller_trace_search_test.exe", std::string(kChildArgument) + " \"" + row.moduleDir + "\\\" \"" + current.path() + "\\\"");
        EXPECT_EQ(0u, child.exitCode) << row.name << child.output;
        const std::string expected = row.loaded.empty() ? "LOADED <>" : "LOADED <" + row.loaded + kLibrary + "> LIBRARY_LINES <0>";
        EXPECT_EQ(0, _stricmp(expected.c_str(), child.output.substr(0, child.output.find_first_of("\r\n")).c_str())) << row.name << child.output;
        for (const std::string& dir : row.copies) ::DeleteFileA((dir + kLibrary).c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == kChildArgument) return RunChild(argv[2], argv[3]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
