#include "campaign/log_record.h"
#include "campaign_settings.h"
#include "dirlib/test_support.h"
#include "platform/unique_resource.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kProcesses = 4;
constexpr int kThreadsPerProcess = 2;

std::string ProgramDirectory() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory = path;
    return directory.substr(0, directory.find_last_of('\\') + 1);
}

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class CrossProcessAppend : public ::testing::Test {
protected:
    void SetUp() override {
        registry_.SetSetting("LogVia_InternTrace", "ein");
        registry_.SetSetting("LogVia_InternTraceDirectory", directory_.path());
        libraryLog_ = directory_.path() + "Locbase_Intern.log";
        traceFile_ = directory_.path() + "trace.log";
    }

    dirlib_test::VendorRegistry registry_;
    dirlib_test::ScratchDir directory_{"tesk_campaign_append"};

    // Starts every writer before waiting for any, so that all append at once. Gated writers
    // initialise first and append only when all are ready.
    void RunWriters(int records, bool gated) {
        const tesk::UniqueHandle ready(::CreateSemaphoreA(nullptr, 0, kProcesses, log_record::kReadySemaphore));
        const tesk::UniqueHandle go(::CreateEventA(nullptr, TRUE, FALSE, log_record::kGoEvent));
        ASSERT_TRUE(ready && go);
        std::vector<tesk::UniqueHandle> processes;
        for (int p = 0; p < kProcesses; ++p) {
            std::string command = "\"" + ProgramDirectory() + "campaign_log_writer.exe\" \"" + traceFile_ + "\" " +
                                  std::to_string(p) + " " + std::to_string(records) + (gated ? " gate" : "");
            STARTUPINFOA startup{};
            startup.cb = sizeof(startup);
            PROCESS_INFORMATION info{};
            ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                         &startup, &info))
                << ::GetLastError();
            ::CloseHandle(info.hThread);
            processes.emplace_back(info.hProcess);
        }
        if (gated) {
            for (int p = 0; p < kProcesses; ++p) ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(ready.get(), 60000));
            ::SetEvent(go.get());
        }
        for (const tesk::UniqueHandle& process : processes) {
            ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.get(), 600000));
            DWORD exitCode = 0xdeadbeef;
            ASSERT_TRUE(::GetExitCodeProcess(process.get(), &exitCode));
            EXPECT_EQ(0u, exitCode);
        }
    }

    // Library log: "DD.MM.YYYY hh:mm:ss.mmm [pid] [tid] INFO - record"; trace file: five
    // tab-separated fields first.
    log_record::Tally LibraryLog() const { return log_record::Read(ReadAll(libraryLog_), ' ', 6); }
    log_record::Tally TraceFile() const { return log_record::Read(ReadAll(traceFile_), '\t', 5); }

    static void ExpectNoDamage(const log_record::Tally& tally, const char* file) {
        for (const std::string& line : tally.damagedLines) ADD_FAILURE() << file << ": damaged line <" << line << ">";
    }

    // Every writer's records, each once, whole, in its own order.
    static void ExpectEveryRecordOnce(const log_record::Tally& tally, int records, const char* file) {
        ExpectNoDamage(tally, file);
        EXPECT_EQ(static_cast<size_t>(kProcesses * kThreadsPerProcess), tally.numbers.size()) << file;
        std::vector<int> expected(static_cast<size_t>(records));
        for (int n = 0; n < records; ++n) expected[static_cast<size_t>(n)] = n;
        for (const auto& [writer, numbers] : tally.numbers) {
            EXPECT_EQ(expected, numbers) << file << ": writer P" << writer.first << "T" << writer.second;
        }
    }

    // Records missing from a writer's strictly ascending run; a repeated or reordered record fails.
    static size_t LostRecords(const log_record::Tally& tally, int records, const char* file) {
        ExpectNoDamage(tally, file);
        size_t found = 0;
        for (const auto& [writer, numbers] : tally.numbers) {
            EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()) &&
                        std::adjacent_find(numbers.begin(), numbers.end()) == numbers.end())
                << file << ": writer P" << writer.first << "T" << writer.second << " repeated or reordered";
            found += numbers.size();
        }
        return static_cast<size_t>(kProcesses * kThreadsPerProcess * records) - found;
    }

    std::string libraryLog_;
    std::string traceFile_;
};

int Records() { return static_cast<int>(campaign::SettingOr("TESK_CAMPAIGN_LOG_RECORDS", 100)); }

TEST_F(CrossProcessAppend, FourProcessesOfTwoThreadsLoseTearAndInterleaveNoLine) {
    const int records = Records();
    const auto start = std::chrono::steady_clock::now();
    RunWriters(records, true);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const log_record::Tally library = LibraryLog();
    const log_record::Tally trace = TraceFile();
    ExpectEveryRecordOnce(library, records, "library log");
    ExpectEveryRecordOnce(trace, records, "trace file");
    EXPECT_EQ(0u, trace.otherLines.size());

    std::printf("processes %d\nthreads_per_process %d\nrecords_per_thread %d\n", kProcesses, kThreadsPerProcess, records);
    std::printf("records_per_file %d\n", kProcesses * kThreadsPerProcess * records);
    std::printf("damaged_lines %zu\nseconds %.3f\n", library.damagedLines.size() + trace.damagedLines.size(), seconds);
}

// The library's initialisation writes its first messages before its log mutex exists, and
// without the mutex the log file is opened while another process may hold it: that line, or the
// other process's, is lost by design of the library's log writer. Counted here, not hidden;
// the trace file, which has its own cross-process lock, must still be complete.
TEST_F(CrossProcessAppend, ProcessesStartingWhileOthersAppend) {
    const int records = Records();
    RunWriters(records, false);

    const size_t lost = LostRecords(LibraryLog(), records, "library log");
    ExpectEveryRecordOnce(TraceFile(), records, "trace file");
    std::printf("library_log_records_lost_while_a_process_initialises %zu\n", lost);
}

}  // namespace
