// The trace library's file read as it grows: complete CR LF lines only, split into their fields.
#include "bench/trace_file.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

using bench::TakeTraceLines;
using bench::TraceFileReader;

constexpr char kLine[] = "2026-12-06 15:10:17.123\t1234\t5678\tINFO\tTESK.CoInstall\tCoDeviceInstall::L\xF6sche\tmit Tab\r\n";

TEST(TraceFile, CompleteLinesAreSplitAtTheirFirstFiveTabs) {
    std::string pending = kLine;
    const auto lines = TakeTraceLines(&pending);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("INFO", lines[0].level);
    EXPECT_EQ("TESK.CoInstall", lines[0].category);
    EXPECT_EQ("CoDeviceInstall::L\xC3\xB6sche\tmit Tab", lines[0].text);
    EXPECT_EQ("2026-12-06 15:10:17.123\t1234\t5678\tINFO\tTESK.CoInstall\tCoDeviceInstall::L\xC3\xB6sche\tmit Tab", lines[0].line);
    EXPECT_TRUE(pending.empty());
}

TEST(TraceFile, AnUnfinishedLineWaitsForItsEnd) {
    std::string pending = std::string(kLine) + "2026-12-06 15:10:17.124\t1234\t5678\tERROR\tTESK.Co";
    EXPECT_EQ(1u, TakeTraceLines(&pending).size());
    EXPECT_EQ("2026-12-06 15:10:17.124\t1234\t5678\tERROR\tTESK.Co", pending);
    pending += "Install\tx\r";
    EXPECT_TRUE(TakeTraceLines(&pending).empty()) << "CR alone does not end a line";
    pending += "\n";
    const auto lines = TakeTraceLines(&pending);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("ERROR", lines[0].level);
    EXPECT_EQ("x", lines[0].text);
    EXPECT_TRUE(pending.empty());
}

TEST(TraceFile, ALineWithoutFieldsIsKeptWhole) {
    std::string pending = "(983040 more bytes not shown)\r\n\r\n";
    const auto lines = TakeTraceLines(&pending);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("(983040 more bytes not shown)", lines[0].text);
    EXPECT_EQ("", lines[0].level);
    EXPECT_EQ("", lines[1].line);
}

TEST(TraceFile, ReaderReturnsOnlyWhatWasAppendedSinceTheLastRead) {
    wchar_t dir[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, dir));
    const std::wstring path = std::wstring(dir) + L"bench_trace_file_test.log";
    ::DeleteFileW(path.c_str());
    TraceFileReader reader(path);
    EXPECT_TRUE(reader.ReadNew().empty()) << "no file yet";

    HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    const std::string first = std::string(kLine) + "partial";
    ASSERT_TRUE(::WriteFile(file, first.data(), static_cast<DWORD>(first.size()), &written, nullptr));
    EXPECT_EQ(1u, reader.ReadNew().size()) << "read while the writer holds the file open";
    const std::string rest = "\tline\r\n";
    ASSERT_TRUE(::WriteFile(file, rest.data(), static_cast<DWORD>(rest.size()), &written, nullptr));
    const auto lines = reader.ReadNew();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("partial\tline", lines[0].line);
    EXPECT_TRUE(reader.ReadNew().empty());
    ::CloseHandle(file);
    EXPECT_TRUE(::DeleteFileW(path.c_str()));
}

}  // namespace
