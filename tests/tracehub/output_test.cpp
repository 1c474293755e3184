// What reaches a listener: the line layout, texts kept byte for byte and cut at their limit,
// dumps, the debugger listener.
#include "hub.h"

#include "test_support/debug_output.h"
#include "test_support/log_time.h"

namespace {

class Output : public HubTest {
protected:
    void SetUp() override {
        HubTest::SetUp();
        ASSERT_TRUE(Hub().AddTextfileListener("*", file_.c_str()));
        Hub().SetAppTracingLevel(16);
    }
    const std::string file_ = test_support::UniqueTempPath("output.log");
};

TEST_F(Output, LineLayoutLevelNamesTextsAndTheirLimits) {
    const std::string longest(4095, 'a');
    struct Row {
        int level;
        const char* category;
        std::string text;
        Fields expected;  // level name, category, text
    } rows[] = {
        {1, "C", "x", {"CRITICAL", "C", "x"}},
        {16, "C", "", {"DETAIL", "C", ""}},
        {3, "C", "x", {"LEVEL3", "C", "x"}},
        {-1, "C", "x", {"LEVEL-1", "C", "x"}},
        {2, "Umlaut", "L\xF6sche Ger\xE4t \xC4\xB5 tab\there", {"ERROR", "Umlaut", "L\xF6sche Ger\xE4t \xC4\xB5 tab\there"}},
        {4, "Multi\tLine\r\n", "one\r\ntwo\nthree\r", {"WARNING", "Multi Line  ", "one  two three "}},
        {8, "Long", longest, {"INFO", "Long", longest}},
        {8, "Long", std::string(4094, 'b') + "cut", {"INFO", "Long", std::string(4094, 'b') + "c"}},
    };
    const SYSTEMTIME before = test_support::LocalNow();
    SetLastError(ERROR_FILE_NOT_FOUND);
    for (const Row& row : rows) ASSERT_TRUE(Hub().Write(row.level, row.category, row.text.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError()) << "writes keep the caller's last error";
    ASSERT_TRUE(Hub().WriteEntry(2, "E", "src\\file.cpp", 42, "Fn", longest.c_str()));
    ASSERT_TRUE(Hub().WriteEntry(2, "E", nullptr, 7, "OnlyFunction", "f"));
    ASSERT_TRUE(Hub().WriteEntry(2, "E", "only.cpp", -3, nullptr, "s"));
    ASSERT_TRUE(Hub().WriteEntry(2, "E", nullptr, 7, nullptr, "plain"));
    EXPECT_FALSE(Hub().Write(2, "C", nullptr));
    const auto lines = ReadTraceLines(file_);
    ASSERT_EQ(std::size(rows) + 4, lines.size());
    EXPECT_EQ("", test_support::CheckTimeStamp(lines[0][0], before, true)) << lines[0][0];
    EXPECT_EQ((Fields{std::to_string(GetCurrentProcessId()), std::to_string(GetCurrentThreadId())}), Fields(lines[0].begin() + 1, lines[0].begin() + 3));
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(rows[i].expected, Fields(lines[i].begin() + 3, lines[i].end())) << "row " << i;
    EXPECT_EQ("src\\file.cpp(42) Fn: " + longest.substr(0, 4095 - 21), lines[8][5]);
    EXPECT_EQ("OnlyFunction: f", lines[9][5]);
    EXPECT_EQ("only.cpp(-3): s", lines[10][5]);
    EXPECT_EQ("plain", lines[11][5]);
}

TEST_F(Output, DumpsSixteenBytesALineUpTo64KiB) {
    unsigned char data[20];
    for (int i = 0; i < 20; ++i) data[i] = static_cast<unsigned char>(0x41 + i);
    data[1] = 0x00;
    data[2] = 0xF6;
    data[17] = 0x7F;
    ASSERT_TRUE(Hub().Dump(8, "TESK.CoInstall.Dump", "SP_DEVINFO_DATA", "devInfoData", data, sizeof data));
    ASSERT_TRUE(Hub().DumpEntry(2, "D", "dump.cpp", 9, "Empty", "zero", "x", 0));
    const std::vector<unsigned char> big(1024 * 1024, 0x5A);
    ASSERT_TRUE(Hub().Dump(2, "D", "Block", "big", big.data(), static_cast<uint32_t>(big.size())));
    EXPECT_FALSE(Hub().Dump(2, "D", "t", "n", nullptr, 1));
    EXPECT_FALSE(Hub().Dump(2, nullptr, "t", "n", "x", 1));
    const auto lines = ReadTraceLines(file_);
    ASSERT_EQ(3u + 1 + 1 + 4096 + 1, lines.size());
    const Fields expected[] = {
        {"TESK.CoInstall.Dump", "Dump SP_DEVINFO_DATA devInfoData, 20 bytes"},
        {"TESK.CoInstall.Dump", "00000000  41 00 F6 44 45 46 47 48  49 4A 4B 4C 4D 4E 4F 50  |A..DEFGHIJKLMNOP|"},
        {"TESK.CoInstall.Dump", "00000010  51 7F 53 54                                       |Q.ST|"},
        {"D", "dump.cpp(9): Dump Empty zero, 0 bytes"},
        {"D", "Dump Block big, 1048576 bytes"},
    };
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(expected[i], Fields(lines[i].begin() + 4, lines[i].end())) << i;
        EXPECT_EQ(lines[0][0], lines[std::min<size_t>(i, 2)][0]) << "one time stamp for the whole dump";
    }
    EXPECT_EQ("0000FFF0  5A 5A 5A 5A 5A 5A 5A 5A  5A 5A 5A 5A 5A 5A 5A 5A  |ZZZZZZZZZZZZZZZZ|", lines[4100][5]);
    EXPECT_EQ("(983040 more bytes not shown)", lines[4101][5]);
}

TEST_F(Output, DebuggerListenerGetsTheWholeLine) {
    ASSERT_TRUE(Hub().AddListener("Dbg", "debugger", KvTraceListenerDebugger, nullptr));
    test_support::DebugOutputCapture capture;
    ASSERT_TRUE(Hub().Write(4, "Dbg", "seen by a debugger"));
    EXPECT_NE(std::string::npos, capture.Text().find("\tWARNING\tDbg\tseen by a debugger\r\n")) << capture.Text();
}

}  // namespace
