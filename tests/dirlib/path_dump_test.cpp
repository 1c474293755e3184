// The one-time dump of the directories of X0000303 at the library's first use in a process.
#include "getter_support.h"

#include <gtest/gtest.h>

#include <knownfolders.h>

#include <regex>
#include <string>
#include <vector>

namespace {

using namespace dirlib_test;

class PathDump : public ::testing::Test {
protected:
    std::string DumpFile() const { return scratch_.path() + "X0000303_TracingDirs.log"; }

    VendorRegistry registry_;
    KorvanTrees trees_;
    ScratchDir scratch_{"dump"};
};

TEST_F(PathDump, FirstUseWritesFiveLinesOnceAndCreatesTheDirectories) {
    registry_.SetSetting("LocbaseTracingDirsActive", "ein");
    registry_.SetSetting("LocbaseTracingDirsDirectory", scratch_.path().substr(0, scratch_.path().size() - 1));
    const HostResult host = RunHost("first-use");
    ASSERT_EQ(0u, host.exitCode) << host.output;

    const std::string announce =
        "I Init: Pfade f\xfcr X0000303 werden einmalig nach <" + DumpFile() + "> ausgegeben";
    const std::vector<std::string> messages = MessageLines(host.output);
    EXPECT_EQ(1, std::count(messages.begin(), messages.end(), announce)) << host.output;
    const size_t second = host.output.find("--- second\n");
    ASSERT_NE(std::string::npos, second);
    for (const std::string& line : MessageLines(host.output.substr(second))) {
        EXPECT_EQ(0u, line.rfind("I LSB_GetTempDir:", 0)) << "the second call asks no getter: " << line;
    }

    const std::vector<std::string> lines = SplitLines(ReadFileBytes(DumpFile()));
    ASSERT_EQ(5u, lines.size()) << ReadFileBytes(DumpFile());
    const std::regex stamp(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3} \[\d+\] \[\d+\] (.*))");
    const std::string labels[] = {"Programm", "Daten", "Konfig", "Log", "Konfig Benutzer"};
    std::vector<std::string> dirs;
    for (size_t i = 0; i < 5; ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, stamp)) << lines[i];
        const std::string text = match[1];
        ASSERT_EQ(0u, text.rfind(labels[i] + " <", 0)) << text;
        ASSERT_EQ('>', text.back()) << text;
        dirs.push_back(text.substr(labels[i].size() + 2, text.size() - labels[i].size() - 3));
    }
    EXPECT_EQ(KnownFolder(FOLDERID_ProgramData) + "Korvan\\Daten\\X0000303\\Data\\", dirs[1]);
    EXPECT_EQ(KnownFolder(FOLDERID_LocalAppDataLow) + "Korvan\\Log\\Mirel\\", dirs[3]);
    EXPECT_EQ(KnownFolder(FOLDERID_RoamingAppData) + "Korvan\\Konfig\\X0000303\\", dirs[4]);
    for (const size_t created : {1u, 3u, 4u}) EXPECT_TRUE(IsDirectory(dirs[created])) << dirs[created];
    // Program and configuration directories fall back to the host's own directory.
    EXPECT_EQ(dirs[0], dirs[2]);
    EXPECT_TRUE(IsDirectory(dirs[0]));
}

TEST_F(PathDump, MissingDumpDirectoryMeansNoDumpAndNoGetter) {
    registry_.SetSetting("LocbaseTracingDirsActive", "ein");
    registry_.SetSetting("LocbaseTracingDirsDirectory", scratch_.path() + "fehlt");
    const HostResult host = RunHost("first-use");
    ASSERT_EQ(0u, host.exitCode) << host.output;
    for (const std::string& line : MessageLines(host.output)) {
        EXPECT_TRUE(line.rfind("I Init:", 0) == 0 || line.rfind("E Init:", 0) == 0 || line.rfind("I LSB_GetTempDir:", 0) == 0)
            << line;
    }
    EXPECT_FALSE(IsDirectory(KnownFolder(FOLDERID_ProgramData) + "Korvan"));
    EXPECT_FALSE(IsDirectory(KnownFolder(FOLDERID_RoamingAppData) + "Korvan"));
}

TEST_F(PathDump, DumpFollowsTheRegistryAndTheComponentPathLog) {
    registry_.SetSetting("LocbaseTracingDirsActive", "ein");
    registry_.SetSetting("LocbaseTracingDirsDirectory", scratch_.path());
    registry_.SetSetting("LocbaseLibDirsActive", "ein");
    registry_.SetSetting("LocbaseLibDirsDirectory", scratch_.path());
    SetDataDir(registry_, "X0000303", "Data", scratch_.path() + "daten");
    SetComponentDir(registry_, "X0000303", "ConfigDir", scratch_.path());
    ASSERT_EQ(0u, RunHost("first-use").exitCode);

    const std::vector<std::string> dump = SplitLines(ReadFileBytes(DumpFile()));
    ASSERT_EQ(5u, dump.size());
    EXPECT_NE(std::string::npos, dump[1].find("] Daten <" + scratch_.path() + "daten\\>"));
    EXPECT_NE(std::string::npos, dump[2].find("] Konfig <" + scratch_.path() + ">"));
    EXPECT_TRUE(IsDirectory(scratch_.path() + "daten"));

    // The getters record each answer in the component-path log, in the dump's order; the data
    // getter's registry lookup asks the program getter nothing.
    const std::vector<std::string> recorded = SplitLines(ReadFileBytes(scratch_.path() + "Locbase_Lib_Dirs.log"));
    const char* const labels[] = {"Programm", "Daten", "Konfig", "Log", "Konfig des Benutzers"};
    ASSERT_EQ(5u, recorded.size()) << ReadFileBytes(scratch_.path() + "Locbase_Lib_Dirs.log");
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_NE(std::string::npos, recorded[i].find(std::string("] X0000303 ") + labels[i] + " <")) << recorded[i];
    }
}

}  // namespace
