// Many writers in one process: every line arrives whole and once, also while the configuration changes
// or the trace system shuts down under them. Several processes are the cross-process stress test's subject.
#include "hub.h"


#include <atomic>
#include <climits>
#include <thread>

namespace {

using Concurrency = HubTest;
using test_support::NumberedText;
using test_support::UniqueTempPath;

struct Outcome {
    int refusedWhileRunning = 0, acceptedAfterDone = 0;
};

// `threads` writers of numbered lines to `category` until each has written `lines` or `stop` is set.
Outcome WriteFromThreads(int threads, int lines, const char* category, const std::atomic<bool>& stop,
                         const std::atomic<bool>& done) {
    std::atomic<int> refused{0}, late{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < lines && !stop; ++i) {
                const bool wasDone = done;
                const bool accepted = Hub().Write(2, category, NumberedText("T" + std::to_string(t), i).c_str());
                if (!wasDone && !accepted) ++refused;
                if (wasDone && accepted) ++late;
            }
        });
    for (auto& writer : writers) writer.join();
    return {refused, late};
}

TEST_F(Concurrency, EightThreadsWhileTheConfigurationChanges) {
    const std::string file = UniqueTempPath("busy.log"), other = UniqueTempPath("other.log");
    ASSERT_TRUE(Hub().AddTextfileListener("Busy", file.c_str()));
    std::atomic<bool> stop{false}, done{false};
    std::thread changer([&] {
        for (int round = 0; !stop; ++round) {
            Hub().AddTextfileListener("Busy", other.c_str());
            Hub().SetLevel("Side", round % 16);
            Hub().RemoveListenerCategory("Busy", other.c_str());
        }
    });
    EXPECT_EQ(0, WriteFromThreads(8, 5000, "Busy", stop, done).refusedWhileRunning);
    stop = true;
    changer.join();
    test_support::CheckNumberedLines(file, '\t', 5, 8, 5000);
    // The listener that came and went got whole lines too, each tag in order.
    test_support::CheckNumberedLines(other, '\t', 5, -1, -1);
}

TEST_F(Concurrency, DoneWhileThreadsWriteEndsTheirOutputCleanly) {
    const std::string file = UniqueTempPath("done_under_load.log");
    ASSERT_TRUE(Hub().AddTextfileListener("Late", file.c_str()));
    std::atomic<bool> stop{false}, done{false};
    std::thread closer([&] {
        Sleep(200);
        Hub().DoneTraceSystem();
        done = true;
        Sleep(100);
        stop = true;
    });
    EXPECT_EQ(0, WriteFromThreads(4, INT_MAX, "Late", stop, done).acceptedAfterDone);
    closer.join();
    for (const auto& [tag, numbers] : test_support::CheckNumberedLines(file, '\t', 5, 4, -1))
        EXPECT_EQ(numbers.size() - 1, static_cast<size_t>(numbers.back())) << tag;
}

}  // namespace
