// Many writers in one process: every line arrives whole and once, also while the configuration
// changes under them. Several processes are the cross-process stress test's subject.
#include "hub.h"

#include <atomic>
#include <thread>

namespace {

using Concurrency = HubTest;
using test_support::UniqueTempPath;

TEST_F(Concurrency, EightThreadsWhileTheConfigurationChanges) {
    const std::string file = UniqueTempPath("busy.log"), other = UniqueTempPath("other.log");
    ASSERT_TRUE(Hub().AddTextfileListener("Busy", file.c_str()));
    std::atomic<bool> stop{false};
    std::atomic<int> refused{0};
    std::thread changer([&] {
        for (int round = 0; !stop; ++round) {
            Hub().AddTextfileListener("Busy", other.c_str());
            Hub().SetLevel("Side", round % 16);
            Hub().RemoveListenerCategory("Busy", other.c_str());
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < 8; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < 5000; ++i) refused += !Hub().Write(2, "Busy", test_support::NumberedText("T" + std::to_string(t), i).c_str());
        });
    for (auto& writer : writers) writer.join();
    stop = true;
    changer.join();
    EXPECT_EQ(0, refused.load());
    test_support::CheckNumberedLines(file, '\t', 5, 8, 5000);
    // The listener that came and went got whole lines too, each tag in order.
    test_support::CheckNumberedLines(other, '\t', 5, -1, -1);
}

}  // namespace
