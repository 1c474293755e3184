// Eight threads call CoDeviceInstall of a freshly loaded co-installer at the same moment, so that
// they race into its one load attempt of the trace library; round after round.
#include "test_support/figures.h"
#include "test_support/load_watch.h"
#include "test_support/module.h"
#include "tests/doubles/recording_trace/recording_trace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <map>
#include <thread>

namespace {

constexpr uint32_t kThreads = 8, kCallsPerThread = 4;

TEST(LoadRace, EightThreadsShareOneLoadAttempt) {
    const uint64_t rounds = test_support::SettingOr("TESK_CAMPAIGN_RACE_ROUNDS", 20);
    uint64_t contendedRounds = 0;
    for (uint64_t round = 1; round <= rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        RecReset(), RecForgetInit(), RecSetDefaultLevel(16);
        HMODULE module = LoadLibraryW(L"TeskCoInstaller.dll");
        ASSERT_NE(nullptr, module);
        const long loadsBefore = load_watch::LoadLibraryCalls();
        load_watch::Install(module);
        const auto entry = test_support::ExportAs<test_support::CoDeviceInstallFn>(module, "CoDeviceInstall");
        ASSERT_NE(nullptr, entry);
        std::atomic<uint32_t> ready{0}, beforeInit{0}, unexpected{0}, go{0};
        std::vector<std::thread> workers;
        for (uint32_t t = 0; t < kThreads; ++t)
            workers.emplace_back([&] {
                ++ready;
                while (!go.load(std::memory_order_acquire)) continue;
                beforeInit += !RecInitialised();
                for (uint32_t i = 0; i < kCallsPerThread; ++i) {
                    COINSTALLER_CONTEXT_DATA context{};
                    unexpected += entry(DIF_SELECTDEVICE, nullptr, nullptr, &context) != NO_ERROR;
                }
            });
        // Every thread spins at the gate before it opens, so their first calls start together.
        while (ready != kThreads) std::this_thread::yield();
        go.store(1, std::memory_order_release);
        for (std::thread& worker : workers) worker.join();
        EXPECT_EQ(std::make_tuple(1u, 0u, 1L, 0u), std::make_tuple(RecInitCount(), RecCallsBeforeInit(),
                                                                 load_watch::LoadLibraryCalls() - loadsBefore, unexpected.load()))
            << "initialisations, calls before one, load attempts, failed calls";
        // Each call writes its request name once; a call that went without the library lacks it.
        std::map<DWORD, uint32_t> requestLines;
        RecCall call{};
        for (size_t i = 0; i < RecCallCount(); ++i)
            if (RecGetCall(i, &call) && std::strcmp(call.function, "Write") == 0 && call.text &&
                std::strstr(call.text, "CoDeviceInstall::InstallFunction <") == call.text)
                ++requestLines[call.threadId];
        EXPECT_EQ(kThreads, requestLines.size());
        for (const auto& [thread, lines] : requestLines) EXPECT_EQ(kCallsPerThread, lines) << "thread " << thread;
        FreeLibrary(module);
        // A module that stayed loaded would make the next round's first call no first call.
        ASSERT_EQ(nullptr, GetModuleHandleW(L"TeskCoInstaller.dll"));
        contendedRounds += beforeInit >= 2;
    }
    test_support::Figure("rounds", rounds);
    test_support::Figure("contended_rounds", contendedRounds);
    // Without threads waiting on the attempt of another the race proves nothing.
    EXPECT_GT(contendedRounds, 0u);
}

}  // namespace
