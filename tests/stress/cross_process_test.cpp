// Four processes of two threads append numbered records at once to the directory library's log and
// a trace file: none may be torn, merged or repeated, and none lost but what the library log's
// design loses. "--writer <file> <process> <records> <gated>" is one writer.
#include "dirlib/settings.h"
#include "dirlib/tracer.h"
#include "platform/unique_resource.h"
#include "test_support/figures.h"
#include "test_support/files.h"
#include "test_support/process.h"
#include "test_support/registry_fixture.h"
#include "test_support/trace_library.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

constexpr int kProcesses = 4, kThreads = 2;
constexpr char kReady[] = "TeskStressAppendReady", kGo[] = "TeskStressAppendGo";
// Starts every writer before waiting for any. Gated, they append only once all are initialised;
// ungated, each appends at once, while the others may still be initialising.
TEST(CrossProcessAppend, FourProcessesOfTwoThreadsLoseTearAndInterleaveNoLine) {
    const int records = static_cast<int>(test_support::SettingOr("TESK_CAMPAIGN_LOG_RECORDS", 1000));
    for (const bool gated : {true, false}) {
        const std::string run = gated ? "gated" : "ungated";
        SCOPED_TRACE(run);
        test_support::VendorRegistry registry;
        test_support::ScratchDir directory{"tesk_stress_append_" + run};
        registry.SetSetting("LogVia_InternTrace", "ein");
        registry.SetSetting("LogVia_InternTraceDirectory", directory.path());
        const std::string traceFile = directory.path() + "trace.log", libraryLog = directory.path() + "Locbase_Intern.log";
        const tesk::UniqueHandle ready{CreateSemaphoreA(nullptr, 0, kProcesses, kReady)}, go{CreateEventA(nullptr, TRUE, FALSE, kGo)};
        const double start = test_support::Seconds();
        std::vector<HANDLE> writers;
        for (int p = 0; p < kProcesses; ++p)
            writers.push_back(test_support::StartProcess(test_support::ProgramDirectory() + "stress_cross_process_test.exe",
                                                         "--writer \"" + traceFile + "\" " + std::to_string(p) + " " + std::to_string(records) + " " + (gated ? "1" : "0")));
        for (int p = 0; p < kProcesses; ++p) EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready.get(), 60000));
        SetEvent(go.get());
        for (HANDLE writer : writers) {
            DWORD exitCode = 1;
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(writer, 600000));
            EXPECT_TRUE(GetExitCodeProcess(writer, &exitCode) && exitCode == 0) << exitCode;
            CloseHandle(writer);
        }
        test_support::Figure(run + "_seconds", test_support::Seconds() - start);
        // Init writes its first lines before the log mutex exists, opening the file shared for
        // reading only; while it has it open, the open of a writer that holds the mutex fails and
        // that record is lost. Only records written before every writer was initialised (the go
        // event set, which the gate waits for) may be lost.
        auto present = test_support::CheckNumberedLines(libraryLog, ' ', 6, -1, -1, true);
        std::string earlyCounts;
        for (int p = 0; p < kProcesses; ++p) earlyCounts += test_support::ReadFileBytes(traceFile + ".early" + std::to_string(p));
        const std::vector<std::string> writersEarly = test_support::SplitLines(earlyCounts);
        EXPECT_EQ(static_cast<size_t>(kProcesses * kThreads), writersEarly.size());
        int lost = 0, early = 0;
        for (const std::string& line : writersEarly) {
            const std::string tag = line.substr(0, line.find(' '));
            const int writtenEarly = std::atoi(line.c_str() + tag.size());
            std::vector<bool> found(records);
            for (int n : present[tag]) found.at(n) = true;
            for (int n = 0; n < records; ++n) {
                lost += !found[n];
                EXPECT_TRUE(found[n] || n < writtenEarly) << tag << " " << n << " lost after every writer had its mutex";
            }
            early += writtenEarly;
        }
        test_support::Figure(run + "_library_log_records_lost", lost);
        test_support::Figure(run + "_library_log_records_written_before_all_had_the_mutex", early);
        test_support::CheckNumberedLines(traceFile, '\t', 5, kProcesses * kThreads, records);
    }
    test_support::Figure("records_per_file", kProcesses * kThreads * records);
}

int Writer(const std::string& traceFile, int process, int records, bool gated) {
    Init();  // reads the switches and creates the named log mutex
    const test_support::TraceLibrary* hub = test_support::TraceLibraryBesideProgram();
    if (!g_librarySettings.internTraceOn || !hub) return 2;
    hub->InitTraceSystem();
    if (!hub->entry.ConfigureTrace(("Enabled=1;DefaultLevel=16;File.Stress=" + traceFile).c_str())) return 3;
    HANDLE ready = OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, kReady), go = OpenEventA(SYNCHRONIZE, FALSE, kGo);
    if (!ready || !go || !ReleaseSemaphore(ready, 1, nullptr) || (gated && WaitForSingleObject(go, 60000) != WAIT_OBJECT_0)) return 4;
    std::vector<std::thread> threads;
    std::string earlyLines[kThreads];
    for (int thread = 0; thread < kThreads; ++thread)
        threads.emplace_back([&, thread] {
            const std::string tag = "P" + std::to_string(process) + "T" + std::to_string(thread);
            int early = 0;
            for (int n = 0; n < records; ++n) {
                if (early == n && WaitForSingleObject(go, 0) != WAIT_OBJECT_0) early = n + 1;
                const std::string record = test_support::NumberedText(tag, n);
                _TracerWrite(kTraceInfo, "%s", record.c_str());
                hub->entry.Write(8, "Stress", record.c_str());
            }
            earlyLines[thread] = tag + " " + std::to_string(early) + "\n";
        });
    for (std::thread& thread : threads) thread.join();
    // Per writer thread, how many of its records went out before the go event was set.
    test_support::WriteFileText(traceFile + ".early" + std::to_string(process), earlyLines[0] + earlyLines[1]);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "--writer") == 0) return Writer(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), argv[5][0] == '1');
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
