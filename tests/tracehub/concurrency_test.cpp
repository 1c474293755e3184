// Many writers at once, in one process and in two: every line arrives whole and exactly once,
// also while the configuration changes or the trace system shuts down under the writers.
#include "tracehub/hub_api.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using hubtest::Hub;

class Concurrency : public ::testing::Test {
protected:
    void SetUp() override { hubtest::ResetHub(); }
    void TearDown() override { hubtest::ResetHub(); }
};

// Checks that every line is whole and that each tag's numbers arrive in order, without gaps when
// complete is set; returns the lines per tag.
std::map<std::string, int> CheckLines(const std::vector<std::string>& lines, const std::string& category,
                                      bool complete = true) {
    std::map<std::string, int> next;
    for (const std::string& line : lines) {
        const auto fields = hubtest::SplitTabs(line);
        if (fields.size() != 6 || fields[4] != category) {
            ADD_FAILURE() << "malformed line: " << line.substr(0, 200);
            continue;
        }
        const std::string& text = fields[5];
        const size_t space = text.find(' ');
        const std::string tag = text.substr(0, space);
        const int number = std::atoi(text.c_str() + space + 1);
        if (text != hubtest::NumberedText(tag, number)) {
            ADD_FAILURE() << "torn line: " << line.substr(0, 200);
            continue;
        }
        if (complete) {
            EXPECT_EQ(next[tag], number) << "tag " << tag;
        } else {
            EXPECT_LE(next[tag], number) << "tag " << tag;
        }
        next[tag] = number + 1;
    }
    return next;
}

TEST_F(Concurrency, EightThreadsWriteTenThousandLinesEachNoneLostOrTorn) {
    hubtest::TempFile file("eight_threads.log");
    ASSERT_TRUE(Hub().AddTextfileListener("Load", file.c_str()));
    ASSERT_TRUE(Hub().SetLevel("Load", 8));
    constexpr int kThreads = 8;
    constexpr int kLines = 10000;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::string tag = "T" + std::to_string(t);
            for (int i = 0; i < kLines; ++i) {
                if (!Hub().ShouldTrace(8) || !Hub().Write(8, "Load", hubtest::NumberedText(tag, i).c_str())) ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(0, failures.load());
    const auto lines = hubtest::ReadLines(file.path());
    EXPECT_EQ(static_cast<size_t>(kThreads * kLines), lines.size());
    const auto counts = CheckLines(lines, "Load");
    ASSERT_EQ(static_cast<size_t>(kThreads), counts.size());
    for (const auto& entry : counts) EXPECT_EQ(kLines, entry.second) << entry.first;
}

TEST_F(Concurrency, TwoProcessesAppendToOneFile) {
    hubtest::TempFile file("two_processes.log");
    ASSERT_TRUE(Hub().AddTextfileListener("Child", file.c_str()));
    ASSERT_TRUE(Hub().SetLevel("Child", 8));
    constexpr int kLines = 20000;
    const std::string events = "KvTraceHubTest." + std::to_string(GetCurrentProcessId());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, (events + ".ready").c_str());
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, (events + ".go").c_str());
    ASSERT_TRUE(ready && go);

    char exe[MAX_PATH + 1] = {};
    ASSERT_NE(0u, GetModuleFileNameA(nullptr, exe, MAX_PATH));
    std::string command = std::string("\"") + exe + "\" --append-child \"" + file.path() + "\" C " +
                          std::to_string(kLines) + " " + events;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        << GetLastError();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 60000));
    SetEvent(go);
    for (int i = 0; i < kLines; ++i) ASSERT_TRUE(Hub().Write(8, "Child", hubtest::NumberedText("P", i).c_str()));
    CloseHandle(ready);
    CloseHandle(go);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 120000));
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_EQ(0u, exitCode);

    const auto lines = hubtest::ReadLines(file.path());
    EXPECT_EQ(static_cast<size_t>(2 * kLines), lines.size());
    const auto counts = CheckLines(lines, "Child");
    EXPECT_EQ(kLines, counts.count("P") ? counts.at("P") : 0);
    EXPECT_EQ(kLines, counts.count("C") ? counts.at("C") : 0);
}

TEST_F(Concurrency, ConfigurationChangesUnderWritersLoseNoLineOfAStableListener) {
    hubtest::TempFile file("changing.log");
    hubtest::TempFile other("changing_other.log");
    ASSERT_TRUE(Hub().AddTextfileListener("Busy", file.c_str()));
    ASSERT_TRUE(Hub().SetLevel("Busy", 8));
    constexpr int kLines = 5000;
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        for (int round = 0; !stop.load(); ++round) {
            Hub().AddTextfileListener("Busy", other.c_str());
            Hub().SetLevel("Side", round % 16);
            Hub().RemoveListenerCategory("Busy", other.c_str());
        }
    });
    std::vector<std::thread> writers;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&, t] {
            const std::string tag = "W" + std::to_string(t);
            for (int i = 0; i < kLines; ++i) {
                if (!Hub().Write(8, "Busy", hubtest::NumberedText(tag, i).c_str())) ++failures;
            }
        });
    }
    for (auto& writer : writers) writer.join();
    stop = true;
    changer.join();
    EXPECT_EQ(0, failures.load());
    const auto counts = CheckLines(hubtest::ReadLines(file.path()), "Busy");
    for (int t = 0; t < 4; ++t) EXPECT_EQ(kLines, counts.at("W" + std::to_string(t)));
    // The listener that came and went got whole lines too, each tag in order.
    CheckLines(hubtest::ReadLines(other.path()), "Busy", false);
}

TEST_F(Concurrency, DoneWhileThreadsWriteEndsTheirOutputCleanly) {
    hubtest::TempFile file("done_under_load.log");
    ASSERT_TRUE(Hub().AddTextfileListener("Late", file.c_str()));
    std::atomic<bool> stop{false};
    std::atomic<int> acceptedAfterDone{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&, t] {
            const std::string tag = "D" + std::to_string(t);
            for (int i = 0; !stop.load(); ++i) {
                const bool wasDone = done.load();
                if (Hub().Write(2, "Late", hubtest::NumberedText(tag, i).c_str()) && wasDone) ++acceptedAfterDone;
            }
        });
    }
    Sleep(200);
    Hub().DoneTraceSystem();
    done = true;
    Sleep(100);
    stop = true;
    for (auto& writer : writers) writer.join();
    EXPECT_EQ(0, acceptedAfterDone.load());
    const auto lines = hubtest::ReadLines(file.path());
    EXPECT_FALSE(lines.empty());
    for (const auto& line : lines) {
        const auto fields = hubtest::SplitTabs(line);
        ASSERT_EQ(6u, fields.size()) << line.substr(0, 200);
        const size_t space = fields[5].find(' ');
        EXPECT_EQ(fields[5],
                  hubtest::NumberedText(fields[5].substr(0, space), std::atoi(fields[5].c_str() + space + 1)));
    }
}

}  // namespace
