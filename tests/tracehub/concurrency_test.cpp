// Many writers in one process: every line whole and once, also while the configuration changes; another
// process's lock on the file ("--hold <file>"), kept while it lives, gone with it. More: tests/stress.
#include "hub.h"
#include "test_support/process.h"
#include "tracehub/append_lock.h"

#include <atomic>
#include <cstring>
#include <future>
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

TEST_F(Concurrency, AHolderKeepsTheLockUntilItIsKilledAndTheNextWriterGoesOnAtOnce) {
    const std::string file = UniqueTempPath("held.log");
    ASSERT_TRUE(Hub().AddTextfileListener("Held", file.c_str()));
    const tesk::UniqueHandle holder(test_support::StartProcess(test_support::ProgramDirectory() + "tracehub_test.exe", "--hold \"" + file + "\""));
    for (int wait = 0; wait < 1000 && test_support::ReadFileBytes(file).empty(); ++wait) Sleep(10);
    auto result = std::make_shared<std::promise<bool>>();
    std::future<bool> written = result->get_future();
    std::thread([result] { result->set_value(Hub().Write(2, "Held", "after the holder")); }).detach();
    EXPECT_EQ(std::future_status::timeout, written.wait_for(std::chrono::milliseconds(1200))) << "a slow holder keeps the lock";
    ASSERT_TRUE(TerminateProcess(holder.get(), 1));
    ASSERT_EQ(std::future_status::ready, written.wait_for(std::chrono::milliseconds(500))) << "a dead holder frees the lock at once";
    EXPECT_EQ((std::vector<std::string>{"held", "after the holder"}), TraceTexts(file));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--hold") == 0) {
        const tesk::UniqueHfile file = kvtrace::OpenAppendFile(argv[2]);
        const kvtrace::AppendLock lock(file.get());
        DWORD written = 0;
        return ::WriteFile(file.get(), "held\r\n", 6, &written, nullptr) ? (::Sleep(INFINITE), 0) : 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
