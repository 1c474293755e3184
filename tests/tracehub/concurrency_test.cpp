// Many writers at once: every line arrives whole and exactly once, also while the configuration
// changes or the trace system shuts down under the writers. Several processes appending to one
// file are the cross-process stress test's subject.
#include "hub.h"

#include <atomic>
#include <map>
#include <thread>

namespace {

using Concurrency = HubTest;
using test_support::UniqueTempPath;

// Checks that every line is whole and each tag's numbers arrive in order (without gaps when
// `complete`); returns the lines per tag.
std::map<std::string, int> CheckLines(const std::string& path, bool complete = true) {
    std::map<std::string, int> next;
    for (const Fields& line : ReadLines(path)) {
        const std::string& text = line.back();
        const std::string tag = text.substr(0, text.find(' '));
        const int number = std::atoi(text.c_str() + tag.size());
        if (line.size() != 6 || text != NumberedText(tag, number)) {
            ADD_FAILURE() << "torn line: " << text.substr(0, 200);
            continue;
        }
        if (complete ? number != next[tag] : number < next[tag]) ADD_FAILURE() << tag << " " << number << " out of order";
        next[tag] = number + 1;
    }
    return next;
}

// `threads` writers of `lines` lines each to `category`; returns the failed writes.
int WriteFromThreads(int threads, int lines, const char* category, int level = 8) {
    std::atomic<int> failures{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < lines; ++i)
                if (!Hub().Write(level, category, NumberedText("T" + std::to_string(t), i).c_str())) ++failures;
        });
    for (auto& writer : writers) writer.join();
    return failures;
}

TEST_F(Concurrency, EightThreadsWhileTheConfigurationChanges) {
    const std::string file = UniqueTempPath("busy.log"), other = UniqueTempPath("other.log");
    ASSERT_TRUE(Hub().AddTextfileListener("Busy", file.c_str()));
    ASSERT_TRUE(Hub().SetLevel("Busy", 8));
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        for (int round = 0; !stop; ++round) {
            Hub().AddTextfileListener("Busy", other.c_str());
            Hub().SetLevel("Side", round % 16);
            Hub().RemoveListenerCategory("Busy", other.c_str());
        }
    });
    EXPECT_EQ(0, WriteFromThreads(8, 5000, "Busy"));
    stop = true;
    changer.join();
    const auto counts = CheckLines(file);
    EXPECT_EQ(8u, counts.size());
    for (const auto& [tag, lines] : counts) EXPECT_EQ(5000, lines) << tag;
    // The listener that came and went got whole lines too, each tag in order.
    CheckLines(other, false);
}

TEST_F(Concurrency, DoneWhileThreadsWriteEndsTheirOutputCleanly) {
    const std::string file = UniqueTempPath("done_under_load.log");
    ASSERT_TRUE(Hub().AddTextfileListener("Late", file.c_str()));
    std::atomic<bool> done{false}, stop{false};
    std::atomic<int> acceptedAfterDone{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; !stop; ++i) {
                const bool wasDone = done;
                if (Hub().Write(2, "Late", NumberedText("D" + std::to_string(t), i).c_str()) && wasDone) ++acceptedAfterDone;
            }
        });
    Sleep(200);
    Hub().DoneTraceSystem();
    done = true;
    Sleep(100);
    stop = true;
    for (auto& writer : writers) writer.join();
    EXPECT_EQ(0, acceptedAfterDone.load());
    EXPECT_FALSE(CheckLines(file).empty());
}

}  // namespace
