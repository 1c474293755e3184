// What reaches a listener: the line layout, texts kept byte for byte, dumps, and the edges of
// every argument.
#include "tracehub/hub_api.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

using hubtest::Hub;

class Output : public ::testing::Test {
protected:
    void SetUp() override {
        hubtest::ResetHub();
        ASSERT_TRUE(Hub().AddTextfileListener("*", file_.c_str()));
        Hub().SetAppTracingLevel(16);
    }
    void TearDown() override { hubtest::ResetHub(); }

    std::vector<std::string> Lines() const { return hubtest::ReadLines(file_.path()); }

    hubtest::TempFile file_{"output.log"};
};

TEST_F(Output, LineCarriesTimeProcessThreadLevelCategoryAndText) {
    SYSTEMTIME before;
    GetLocalTime(&before);
    ASSERT_TRUE(Hub().Write(8, "TESK.CoInstall", "CoDeviceInstall::DeviceId <ROOT\\TESK\\0000>"));
    const std::string content = hubtest::ReadFile(file_.path());
    ASSERT_GE(content.size(), 2u);
    EXPECT_EQ("\r\n", content.substr(content.size() - 2));

    const auto lines = Lines();
    ASSERT_EQ(1u, lines.size());
    const auto fields = hubtest::SplitTabs(lines[0]);
    ASSERT_EQ(6u, fields.size()) << lines[0];
    EXPECT_TRUE(std::regex_match(fields[0], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})"))) << fields[0];
    char date[16];
    snprintf(date, sizeof(date), "%04u-%02u-%02u", before.wYear, before.wMonth, before.wDay);
    EXPECT_EQ(date, fields[0].substr(0, 10));
    EXPECT_EQ(std::to_string(GetCurrentProcessId()), fields[1]);
    EXPECT_EQ(std::to_string(GetCurrentThreadId()), fields[2]);
    EXPECT_EQ("INFO", fields[3]);
    EXPECT_EQ("TESK.CoInstall", fields[4]);
    EXPECT_EQ("CoDeviceInstall::DeviceId <ROOT\\TESK\\0000>", fields[5]);
}

TEST_F(Output, LevelNamesAndUnnamedLevels) {
    const int levels[] = {1, 2, 4, 8, 16, 3, -1};
    for (int level : levels) ASSERT_TRUE(Hub().Write(level, "L", "x")) << level;
    const auto lines = Lines();
    ASSERT_EQ(7u, lines.size());
    const char* expected[] = {"CRITICAL", "ERROR", "WARNING", "INFO", "DETAIL", "LEVEL3", "LEVEL-1"};
    for (size_t i = 0; i < 7; ++i) EXPECT_EQ(expected[i], hubtest::SplitTabs(lines[i])[3]);
}

TEST_F(Output, AnsiBytesAreKeptAndLineBreaksBecomeSpaces) {
    const char text[] = "L\xF6sche Ger\xE4t \xC4\xD6\xDC\xDF\xB5 tab\there";
    ASSERT_TRUE(Hub().Write(2, "Umlaut", text));
    ASSERT_TRUE(Hub().Write(2, "Multi\tLine", "one\r\ntwo\nthree"));
    const auto lines = Lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(text, hubtest::SplitTabs(lines[0])[5]);
    const auto fields = hubtest::SplitTabs(lines[1]);
    EXPECT_EQ("Multi Line", fields[4]);
    EXPECT_EQ("one  two three", fields[5]);
}

TEST_F(Output, TextsAreCutAt4095Bytes) {
    const std::string longest(4095, 'a');
    std::string longer = std::string(4095, 'b') + "cut";
    ASSERT_TRUE(Hub().Write(2, "Long", longest.c_str()));
    ASSERT_TRUE(Hub().Write(2, "Long", longer.c_str()));
    ASSERT_TRUE(Hub().WriteEntry(2, "Long", "src\\file.cpp", 42, "Fn", longest.c_str()));
    const auto lines = Lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(longest, hubtest::SplitTabs(lines[0])[5]);
    EXPECT_EQ(std::string(4095, 'b'), hubtest::SplitTabs(lines[1])[5]);
    const std::string entry = hubtest::SplitTabs(lines[2])[5];
    EXPECT_EQ(4095u, entry.size());
    EXPECT_EQ(0u, entry.find("src\\file.cpp(42) Fn: aaa"));
}

TEST_F(Output, NullAndEmptyArgumentsHaveFixedOutcomes) {
    EXPECT_FALSE(Hub().Write(2, nullptr, "text"));
    EXPECT_FALSE(Hub().Write(2, "", "text"));
    EXPECT_FALSE(Hub().Write(2, "Cat", nullptr));
    EXPECT_TRUE(Hub().Write(2, "Cat", ""));
    EXPECT_TRUE(Hub().WriteEntry(2, "Cat", nullptr, 7, nullptr, "plain"));
    EXPECT_TRUE(Hub().WriteEntry(2, "Cat", nullptr, 7, "OnlyFunction", "f"));
    EXPECT_TRUE(Hub().WriteEntry(2, "Cat", "only.cpp", -3, nullptr, "s"));
    EXPECT_FALSE(Hub().Dump(2, nullptr, "t", "n", "x", 1));
    EXPECT_FALSE(Hub().Dump(2, "Cat", "t", "n", nullptr, 1));
    const auto lines = Lines();
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ("", hubtest::SplitTabs(lines[0])[5]);
    EXPECT_EQ("plain", hubtest::SplitTabs(lines[1])[5]);
    EXPECT_EQ("OnlyFunction: f", hubtest::SplitTabs(lines[2])[5]);
    EXPECT_EQ("only.cpp(-3): s", hubtest::SplitTabs(lines[3])[5]);
}

TEST_F(Output, DumpShowsHexAndPrintableCharacters16BytesALine) {
    unsigned char data[20];
    for (int i = 0; i < 20; ++i) data[i] = static_cast<unsigned char>(0x41 + i);
    data[1] = 0x00;
    data[2] = 0xF6;
    data[17] = 0x7F;
    ASSERT_TRUE(Hub().Dump(8, "TESK.CoInstall.Dump", "SP_DEVINFO_DATA", "devInfoData", data, sizeof(data)));
    const auto lines = Lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("Dump SP_DEVINFO_DATA devInfoData, 20 bytes", hubtest::SplitTabs(lines[0])[5]);
    EXPECT_EQ("00000000  41 00 F6 44 45 46 47 48  49 4A 4B 4C 4D 4E 4F 50  |A..DEFGHIJKLMNOP|",
              hubtest::SplitTabs(lines[1])[5]);
    EXPECT_EQ("00000010  51 7F 53 54                                       |Q.ST|", hubtest::SplitTabs(lines[2])[5]);
    for (const auto& line : lines) {
        EXPECT_EQ("TESK.CoInstall.Dump", hubtest::SplitTabs(line)[4]);
        EXPECT_EQ(hubtest::SplitTabs(lines[0])[0], hubtest::SplitTabs(line)[0]);
    }
}

TEST_F(Output, DumpOfNothingAndOfOneMebibyte) {
    ASSERT_TRUE(Hub().Dump(2, "D", "Empty", "none", nullptr, 0));
    ASSERT_TRUE(Hub().DumpEntry(2, "D", "dump.cpp", 9, "Empty", "zero", "x", 0));
    std::vector<unsigned char> big(1024 * 1024, 0x5A);
    ASSERT_TRUE(Hub().Dump(2, "D", "Block", "big", big.data(), static_cast<uint32_t>(big.size())));
    const auto lines = Lines();
    ASSERT_EQ(2u + 1 + 4096 + 1, lines.size());
    EXPECT_EQ("Dump Empty none, 0 bytes", hubtest::SplitTabs(lines[0])[5]);
    EXPECT_EQ("dump.cpp(9): Dump Empty zero, 0 bytes", hubtest::SplitTabs(lines[1])[5]);
    EXPECT_EQ("Dump Block big, 1048576 bytes", hubtest::SplitTabs(lines[2])[5]);
    EXPECT_EQ(0u, hubtest::SplitTabs(lines[3])[5].find("00000000  5A 5A"));
    EXPECT_EQ(0u, hubtest::SplitTabs(lines[4098])[5].find("0000FFF0  5A"));
    EXPECT_EQ("(983040 more bytes not shown)", hubtest::SplitTabs(lines[4099])[5]);
}

TEST_F(Output, ConsoleListenerWritesToStandardError) {
    hubtest::TempFile captured("stderr.log");
    HANDLE file = CreateFileA(captured.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    const HANDLE original = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_ERROR_HANDLE, file);
    ASSERT_TRUE(Hub().AddConsoleListener("Con"));
    const bool written = Hub().Write(2, "Con", "to the console");
    SetStdHandle(STD_ERROR_HANDLE, original);
    CloseHandle(file);
    EXPECT_TRUE(written);
    const auto lines = hubtest::ReadLines(captured.path());
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("to the console", hubtest::SplitTabs(lines[0])[5]);
}

TEST_F(Output, DebuggerListenerWritesTheLineToTheDebuggerOutput) {
    ASSERT_TRUE(Hub().AddListener("Dbg", "debugger", KvTraceListenerDebugger, nullptr));
    hubtest::DebugOutputCapture capture;
    ASSERT_TRUE(Hub().Write(4, "Dbg", "seen by a debugger"));
    EXPECT_NE(std::string::npos, capture.Text().find("\tWARNING\tDbg\tseen by a debugger\r\n")) << capture.Text();
}

TEST_F(Output, WritingKeepsTheCallersLastError) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    ASSERT_TRUE(Hub().Write(2, "Err", "x"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

}  // namespace
