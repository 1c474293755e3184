// The module's Windows-1252 bytes shown as UTF-8, UTF-8 scenario texts handed to Windows, and
// the trace library's file read as it grows: complete CR LF lines only, split into their fields.
#include "bench/text.h"
#include "bench/trace_file.h"

#include "test_support/files.h"

#include <gtest/gtest.h>

namespace {

TEST(Text, Windows1252AndUtf8) {
    EXPECT_EQ("L\xC3\xB6sche \xC3\x9F \xC3\xBF", bench::Utf8FromWindows1252("L\xF6sche \xDF \xFF"));
    EXPECT_EQ("\xE2\x82\xAC \xC5\xB8 \xC2\x81", bench::Utf8FromWindows1252("\x80 \x9F \x81")) << "not Latin-1; unassigned stays C1";
    EXPECT_EQ(std::string("a\0b", 3), bench::Utf8FromWindows1252(std::string("a\0b", 3)));
    EXPECT_EQ(L"CID_\u00f6", bench::WideFromUtf8("CID_\xC3\xB6"));
    EXPECT_EQ("CID_\xC3\xB6", bench::Utf8FromWide(L"CID_\u00f6"));
    EXPECT_EQ(L"", bench::WideFromUtf8("\xC3")) << "a cut sequence is refused, not guessed";
}

constexpr char kLine[] = "2026-12-06 15:10:17.123\t1234\t5678\tINFO\tTESK.CoInstall\tCoDeviceInstall::L\xF6sche\tmit Tab\r\n";

TEST(TraceFile, CompleteLinesAreSplitAtTheirFirstFiveTabs) {
    std::string pending = std::string(kLine) + "(983040 more bytes not shown)\r\nx\ty\r";
    auto lines = bench::TakeTraceLines(&pending);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("INFO", lines[0].level);
    EXPECT_EQ("TESK.CoInstall", lines[0].category);
    EXPECT_EQ("CoDeviceInstall::L\xC3\xB6sche\tmit Tab", lines[0].text);
    EXPECT_EQ("(983040 more bytes not shown)", lines[1].text) << "a line without fields is kept whole";
    EXPECT_EQ("", lines[1].level);
    EXPECT_EQ("x\ty\r", pending) << "CR alone does not end a line";
}

TEST(TraceFile, ReaderReturnsOnlyWhatWasAppendedSinceTheLastRead) {
    const std::string path = test_support::UniqueTempPath("bench_trace_file.log");
    bench::TraceFileReader reader(std::wstring(path.begin(), path.end()));
    EXPECT_TRUE(reader.ReadNew().empty()) << "no file yet";
    test_support::WriteFileText(path, std::string(kLine) + "partial");
    EXPECT_EQ(1u, reader.ReadNew().size());
    test_support::WriteFileText(path, std::string(kLine) + "partial\tline\r\n");
    const auto lines = reader.ReadNew();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("partial\tline", lines[0].line);
    EXPECT_TRUE(reader.ReadNew().empty());
    ::DeleteFileA(path.c_str());
}

}  // namespace
